#include "scene/geometry_section.h"

#include <gmock/gmock.h>

#include <algorithm>

#include "scene_fixture.h"

namespace q9 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr uint32_t kOne = 0x3F800000;  // 1.0f

// A triangle as array 1 holds it.
json Triangle() { return json::array({0, 0, 0, 1, 0, 0, 0, 1, 0}); }

json Mesh(const std::string& name, json arrays) {
  return {{"name", name}, {"arrays", std::move(arrays)}};
}

// One entry of type 2 whose section is `raw`, at the first byte behind the header.
json RawSection(const RawBytes& raw) {
  return {{"entries", json::array({{{"name", "p"}, {"type", 2}, {"hex", raw.Hex()}}})}};
}

// What a walk through the section found, as text: "material:ABC", "solid:7", "mesh:wall", ...
struct Walk {
  std::vector<std::string> items;
  std::vector<int64_t> at;
};

class GeometrySectionTest : public SceneTest {
 protected:
  void Load(const json& description) {
    Write(u"a.pdx", description);
    Use(u"a.pdx");
    container.loadSection(0);
  }
  void LoadSection(const json& section) {
    Load({{"entries", json::array({{{"name", "C:\\p\\a.pln"}, {"geometry", section}}})}});
  }
  Walk WalkFile(const json& description) {
    Write(u"w.pdx", description);
    Use(u"w.pdx");
    container.loadHeader();
    Walk walk;
    GeometryVisitor visitor;
    const auto note = [&](std::string item, int64_t at) {
      walk.items.push_back(std::move(item));
      walk.at.push_back(at - kContainerHeaderSize);
    };
    visitor.material = [&](int64_t at, std::u16string text) { note("material:" + Utf8FromUtf16(text), at); };
    visitor.light = [&](int64_t at, std::u16string text) { note("light:" + Utf8FromUtf16(text), at); };
    visitor.beginSolid = [&](const SolidItem& s) { note("solid:" + std::to_string(s.solidId), s.at); };
    visitor.mesh = [&](const MeshItem& m) { note("mesh:" + Utf8FromUtf16(m.meshName), m.at); };
    visitor.views = [&](int64_t at, std::u16string text) { note("views:" + Utf8FromUtf16(text), at); };
    WalkGeometrySection(container.reader, container.entries[0].offset(), visitor);
    container.Close();
    return walk;
  }
  size_t IndexOf(const std::vector<std::string>& names, const std::string& name) {
    return static_cast<size_t>(std::find(names.begin(), names.end(), name) - names.begin());
  }
};

// --- order and calls ---

TEST_F(GeometrySectionTest, SendsMaterialsThenLightsThenSolidsThenViews) {
  LoadSection({{"materials", json::array({{{"text", "MaterialID_Name [M_Oak]\n"}}})},
               {"lights", json::array({{{"text", "LightSolidID [57]\n"}}})},
               {"solids", json::array({{{"id", 7}, {"timeStamp", 70},
                                        {"meshes", json::array({Mesh("wall", {{"1", Triangle()}}),
                                                                Mesh("sill", {{"1", Triangle()}})})}}})},
               {"views", {{"text", "Cameras_Start\nCameras_End\n"}}}});
  const std::vector<std::string> names = link.Names();
  const size_t material = IndexOf(names, "Q9AddMaterial");
  const size_t light = IndexOf(names, "Q9AddLight");
  const size_t solid = IndexOf(names, "MaxBeginNode");
  const size_t views = IndexOf(names, "SendScenes");
  ASSERT_LT(views, names.size());
  EXPECT_LT(material, light);
  EXPECT_LT(light, solid);
  EXPECT_LT(solid, views);

  std::vector<std::string> texts = link.Texts();
  texts.erase(texts.begin(), texts.begin() + static_cast<std::ptrdiff_t>(solid));
  const std::string triangle = "[0,0,0," + std::to_string(kOne) + ",0,0,0," + std::to_string(kOne) + ",0]";
  EXPECT_THAT(texts, ElementsAre(BeginNode("Solid_7"),
                                 "MaxAddTriangles [\"wall\",1," + triangle + ",null,null,0]",
                                 "MaxAddTriangles [\"sill\",1," + triangle + ",null,null,0]",
                                 "Q9EndNode []",
                                 "SendScenes [" + test::JournalText(session.RawArchivePath()) + "]"));
  EXPECT_EQ(container.currentSectionName, u"C:\\p\\a.pln");
  ASSERT_EQ(container.solids.count(7), 1u);
  EXPECT_EQ(container.solids[7].timeStamp, 70);
  EXPECT_EQ(container.solids[7].nodeName, u"Solid_7");
}

TEST_F(GeometrySectionTest, SectionWithAnEmptyHeaderSendsNothing) {
  container.solids[1] = SolidEntry{5, u"Solid_1", 1};
  LoadSection(json::object());
  EXPECT_THAT(link.Texts(), IsEmpty());
  EXPECT_EQ(container.solids.size(), 1u);
  EXPECT_THAT(container.materials, IsEmpty());
}

TEST_F(GeometrySectionTest, TrianglesAreNineValuesOfArrayOneAndArraysPassAsStored) {
  // Array 1 with 10 values: one triangle. Arrays 5 and 2 are passed by position, raw.
  LoadSection({{"solids", json::array({{{"id", 1},
      {"meshes", json::array({{{"name", "m"},
                               {"raw", {{"1", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
                                        {"2", {22, 23}}, {"3", {33}}, {"5", {55, 56}}}}},
                              {{"name", "empty"}}})}}})}});
  EXPECT_THAT(link.Texts(), ElementsAre(BeginNode("Solid_1"),
                                        "MaxAddTriangles [\"m\",1,[1,2,3,4,5,6,7,8,9],[55],[22],0]",
                                        "MaxAddTriangles [\"empty\",0,null,null,null,0]",
                                        "Q9EndNode []"));
}

// Mesh names are read into storage that serves mesh after mesh, across solids: each name is its
// own, whether the one before it was longer, as long, empty or shorter.
TEST_F(GeometrySectionTest, EachMeshNameStandsAloneWhateverTheNameBefore) {
  const auto meshes = [](std::initializer_list<const char*> names) {
    json list = json::array();
    for (const char* name : names) list.push_back({{"name", name}, {"tag", "t"}});
    return list;
  };
  const json section = {{"solids", json::array({{{"id", 1}, {"meshes", meshes({"window-frame", "sill", "roof"})}},
                                                {{"id", 2}, {"meshes", meshes({"", "floor-tiles-hall"})}}})}};
  EXPECT_THAT(WalkFile({{"entries", json::array({{{"name", "p"}, {"geometry", section}}})}}).items,
              ElementsAre("solid:1", "mesh:window-frame", "mesh:sill", "mesh:roof", "solid:2", "mesh:",
                          "mesh:floor-tiles-hall"));
}

TEST_F(GeometrySectionTest, SolidWithoutMeshesIsStillBegunAndEnded) {
  LoadSection({{"solids", json::array({{{"id", 3}, {"meshes", json::array()}}})}});
  EXPECT_THAT(link.Texts(), ElementsAre(BeginNode("Solid_3"), "Q9EndNode []"));
}

TEST_F(GeometrySectionTest, NegativeIdsAreNamedSignedAndOrderedUnsigned) {
  LoadSection({{"solids", json::array({{{"id", 3}}, {{"id", -5}, {"timeStamp", -1}}, {{"id", 0}}})}});
  std::vector<uint32_t> keys;
  for (const auto& [key, solid] : container.solids) keys.push_back(key);
  EXPECT_THAT(keys, ElementsAre(0u, 3u, 4294967291u));
  EXPECT_EQ(container.solids[4294967291u].nodeName, u"Solid_-5");
  EXPECT_EQ(container.solids[4294967291u].solidId, -5);
  EXPECT_EQ(link.Texts()[2], BeginNode("Solid_-5"));
}

TEST_F(GeometrySectionTest, RepeatedSolidIsSentTwiceAndKeptOnceWithTheLaterStamp) {
  LoadSection({{"solids", json::array({{{"id", 8}, {"timeStamp", 1}}, {{"id", 8}, {"timeStamp", 2}}})}});
  const std::vector<std::string> names = link.Names();
  EXPECT_EQ(std::count(names.begin(), names.end(), "MaxBeginNode"), 2);
  EXPECT_EQ(container.solids.size(), 1u);
  EXPECT_EQ(container.solids[8].timeStamp, 2);
}

TEST_F(GeometrySectionTest, MaterialsAreKeptByNameTheLaterWinningAndBothSent) {
  LoadSection({{"materials", json::array({{{"text", "MaterialID_Name [b]\nnTimeID [1]\n"}},
                                          {{"text", "MaterialID_Name [B]\n"}},
                                          {{"text", "MaterialID_Name [b]\nnTimeID [2]\n"}}})}});
  const std::vector<std::string> names = link.Names();
  EXPECT_EQ(std::count(names.begin(), names.end(), "Q9AddMaterial"), 3);
  std::vector<std::u16string> keys;
  for (const auto& [key, material] : container.materials) keys.push_back(key);
  EXPECT_THAT(keys, ElementsAre(u"B", u"b"));
  EXPECT_EQ(container.materials[u"b"].nTimeID, 2);
}

// --- texts ---

TEST_F(GeometrySectionTest, MaterialTextEndsAtHalfItsByteCountOrAtAZeroUnit) {
  const Walk walk = WalkFile({{"entries", json::array({{{"name", "p"}, {"geometry",
      {{"materials", json::array({{{"text", "ABCD"}, {"textBytes", 7}},
                                  {{"text", std::string("AB\0CD", 5)}},
                                  {{"text", "XY"}, {"textBytes", -4}}})}}}}})}});
  EXPECT_THAT(walk.items, ElementsAre("material:ABC", "material:AB", "material:"));
}

// --- where the blocks start ---

// Solid item layout from its offset o: int32 at o, headerLength at o + 4, byte at o + 8, stamp at
// o + 9, empty string at o + 13, two int32 at o + 17 and o + 21, solidId at o + 25, empty string
// at o + 29; a headerLength of 29 puts the mesh list right behind, at o + 33.
TEST_F(GeometrySectionTest, WithoutMaterialsAndLightsTheSolidTableIsAtTwenty) {
  RawBytes raw;
  raw.Put32(8, 1);                          // solidBlockSize
  raw.Put32(20, 1).Put32(24, 40);           // solid table: one solid at 40
  raw.Put32(44, 29).Put32(65, 6);           // headerLength, solidId
  raw.Put32(73, 0);                         // empty mesh list
  const Walk walk = WalkFile(RawSection(raw));
  EXPECT_THAT(walk.items, ElementsAre("solid:6"));
  EXPECT_THAT(walk.at, ElementsAre(40));
}

TEST_F(GeometrySectionTest, WithoutMaterialsTheLightSpanIsCountedFromTheSectionStart) {
  RawBytes raw;
  raw.Put32(4, 500).Put32(8, 1);                // lightBlockSpan 500, solids present
  raw.Put32(20, 1).Put32(24, 28);               // light table at 20
  raw.PutString(28, u"lamp");
  raw.Put32(500, 1).Put32(504, 600);            // solid table at 500
  raw.Put32(604, 100).Put32(625, 42);           // mesh list at 704, solidId 42
  raw.Put32(704, 0);
  const Walk walk = WalkFile(RawSection(raw));
  EXPECT_THAT(walk.items, ElementsAre("light:lamp", "solid:42"));
}

TEST_F(GeometrySectionTest, WithMaterialsLightsStartAtTheMaterialEndAndSolidsBehindTheSpan) {
  RawBytes raw;
  raw.Put32(0, 100).Put32(4, 60).Put32(8, 1);
  raw.Put32(20, 1).Put32(24, 28).Put32(28, 4).PutUnits(40, u"mA");   // material at 28
  raw.Put32(100, 1).Put32(104, 120).PutString(120, u"light");        // lights at 100
  raw.Put32(160, 1).Put32(164, 200);                                 // solids at 100 + 60
  raw.Put32(204, 200).Put32(225, 9);                                 // mesh list at 404
  raw.Put32(404, 0);
  const Walk walk = WalkFile(RawSection(raw));
  EXPECT_THAT(walk.items, ElementsAre("material:mA", "light:light", "solid:9"));
}

TEST_F(GeometrySectionTest, ZeroOffsetsSkipSolidsAndMeshesButNotMaterials) {
  RawBytes raw;
  raw.Put32(0, 60).Put32(8, 1);
  raw.Put32(20, 2).Put32(24, 0).Put32(28, 32);          // material table: 0, then 32
  raw.Put32(32, 2).PutUnits(44, u"m");
  raw.Put32(60, 2).Put32(64, 0).Put32(68, 80);          // solid table: 0, then 80
  raw.Put32(84, 29).Put32(105, 5);                      // solid 5, mesh list at 113
  raw.Put32(113, 2).Put32(117, 0).Put32(121, 130);      // mesh list: 0, then 130
  raw.Put32(134, 22).PutString(146, u"x");              // mesh "x", arrays at 156
  raw.Put32(152, 0);
  raw.Grow(188);
  const Walk walk = WalkFile(RawSection(raw));
  // Offset 0 in the material table reads the section header as a material item: its text starts
  // at byte 12, whose first unit is zero.
  EXPECT_THAT(walk.items, ElementsAre("material:", "material:m", "solid:5", "mesh:x"));
  EXPECT_THAT(walk.at, ElementsAre(0, 32, 80, 130));
}

TEST_F(GeometrySectionTest, ViewsAreReadWhereTheLastItemEnded) {
  // Behind the last mesh of the last solid, behind the last light, behind the section header.
  const Walk walk = WalkFile({{"entries", json::array({{{"name", "p"}, {"geometry",
      {{"solids", json::array({{{"id", 1}, {"meshes", json::array({Mesh("a", {{"1", Triangle()}})})}}})},
       {"views", {{"text", "V"}}}}}}})}});
  EXPECT_THAT(walk.items, ElementsAre("solid:1", "mesh:a", "views:V"));

  const Walk lightsOnly = WalkFile({{"entries", json::array({{{"name", "p"}, {"geometry",
      {{"lights", json::array({{{"text", "L"}}})}, {"views", {{"text", "W"}}}}}}})}});
  EXPECT_THAT(lightsOnly.items, ElementsAre("light:L", "views:W"));

  const Walk viewsOnly = WalkFile({{"entries", json::array({{{"name", "p"}, {"geometry",
      {{"views", {{"text", "only"}}}}}}})}});
  EXPECT_THAT(viewsOnly.items, ElementsAre("views:only"));
  EXPECT_THAT(viewsOnly.at, ElementsAre(20));
}

TEST_F(GeometrySectionTest, HeaderLengthsSkipWhatTheReaderDoesNotKnow) {
  LoadSection({{"solids", json::array({{{"id", 2}, {"padding", 13},
      {"meshes", json::array({{{"name", "m"}, {"padding", 7}, {"raw", {{"1", {9, 9, 9, 9, 9, 9, 9, 9, 9}}}}}})}}})}});
  EXPECT_THAT(link.Texts(), ElementsAre(BeginNode("Solid_2"),
                                        "MaxAddTriangles [\"m\",1,[9,9,9,9,9,9,9,9,9],null,null,0]",
                                        "Q9EndNode []"));
}

}  // namespace
}  // namespace q9
