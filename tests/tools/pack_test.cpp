// The pack writer: its streamed bytes against bytes the earlier whole-file writer produced, its
// sinks, the plan's size limit, and grid models read back through the system's own reader.
#include "pack/pack_description.h"

#include <gmock/gmock.h>

#include <cmath>
#include <cstring>

#include "base/platform.h"
#include "base/text.h"
#include "common/files.h"
#include "pack/container_write.h"
#include "pack/grid_model.h"
#include "scene/geometry_section.h"
#include "test_files.h"

namespace q9x {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;
namespace layout = q9::container;

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (const unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

uint64_t Fnv1a(std::string_view bytes) {
  uint64_t hash = 0xcbf29ce484222325;
  for (const unsigned char c : bytes) hash = (hash ^ c) * 0x100000001b3;
  return hash;
}

std::string Packed(const json& description, const PackOptions& options = {}) {
  MemorySink sink;
  const PackResult result = PackContainer(description, "", sink, options);
  EXPECT_TRUE(result.ok) << result.error;
  return sink.bytes();
}

// Every kind of section, item, override and patch, a section placed over another and a patch
// over the first section byte. The bytes below are what the whole-file writer that came before
// the streaming one wrote for it.
const char* const kFixture = R"({
  "header": {"name": "Fx", "preservedWord": 513, "reserved0": 7},
  "entries": [
    {"name": "C:\\p\\a.pln",
     "changeList": {"items": [{"kind": "Solid", "ids": [3, 4]}, {"kind": "Material", "ids": [12], "idCount": 5}]}},
    {"name": "C:\\p\\a.pln",
     "geometry": {
       "materials": [{"text": "MaterialID_Name [M]\n"}, {"text": "AB", "textBytes": 7}],
       "lights": [{"text": "LightSolidID [5]\n"}],
       "solids": [null,
                  {"id": -2, "timeStamp": 40, "name": "Wall", "tag": "W", "flag": 3, "padding": 2, "field0": 9,
                   "meshes": [null, {"name": "M", "tag": "t", "padding": 1, "field2": 6,
                                     "arrays": {"1": [0, 0, 0, 1, 0, 0, 0, 1, 0]},
                                     "raw": {"2": [7, 8], "5": [1, 2, 3]}, "counts": {"3": 9}}]},
                  {"id": 5, "headerLength": 99, "meshCount": 0}],
       "views": {"text": "V"},
       "reserved16": 16}},
    {"name": "hexed", "type": 9, "offset": 208650, "offsetValue": -4, "hex": "abcdef"}
  ],
  "patches": [{"entry": 1, "at": 16, "int32": -1}, {"at": 208644, "uint8": 255}]
})";
const char* const kFixtureSections =
    "ff0000001400abcdef0000002e0000001c0000000500000053006f006c006900"
    "6400020000000300000004000000080000004d00610074006500720069006100"
    "6c00050000000c000000640000002e000000e300000006000000ffffffff0200"
    "000020000000540000002800000000000000000000004d006100740065007200"
    "690061006c00490044005f004e0061006d00650020005b004d005d000a000700"
    "0000000000000000000041004200010000006c000000110000004c0069006700"
    "6800740053006f006c00690064004900440020005b0035005d000a0003000000"
    "00000000a2000000500100000900000029000000032800000004000000570061"
    "006c006c000000000000000000feffffff010000005700000002000000000000"
    "00db00000000000000190000000000000006000000010000004d000100000074"
    "0000090000000000000000000000000000000000803f00000000000000000000"
    "00000000803f0000000002000000070000000800000009000000000000000300"
    "0000010000000200000003000000000000000000000000000000000000006300"
    "0000000000000000000000000000000000000005000000000000000000000001"
    "0000005600";
constexpr uint64_t kFixtureHash = 0xa56e71bbc2c8dc5a;  // of the whole file, header included

TEST(PackTest, StreamedBytesAreTheBytesOfTheEarlierWriter) {
  const json description = json::parse(kFixture);
  const std::string bytes = Packed(description);
  ASSERT_EQ(bytes.size(), 209097u);
  EXPECT_EQ(Hex(bytes.substr(layout::kHeaderSize)), kFixtureSections);
  EXPECT_EQ(Fnv1a(bytes), kFixtureHash);

  // Through a file, as q9x pack writes it.
  q9::test::TempFolder folder;
  const std::u16string out = folder.File(u"fixture.sm");
  const PackResult file = PackContainerToFile(description, "", q9::platform::DisplayPath(out));
  ASSERT_TRUE(file.ok) << file.error;
  EXPECT_EQ(Fnv1a(q9::test::ReadFileBytes(out)), kFixtureHash);
}

TEST(PackTest, SamplesPackedIntoMemoryAreTheFilesTheBuildPacked) {
  for (const char* name : {"model", "update"}) {
    const std::string built = q9::test::ReadFileBytes(q9::Utf16FromUtf8(
        std::string(Q9_SAMPLES_DIR) + (name == std::string("model") ? "/_model.pdx" : "/_mod.sm")));
    ASSERT_GT(built.size(), layout::kHeaderSize) << name;
    // The build set the project path; it stands in the first entry's name.
    std::u16string project;
    for (size_t at = layout::kDirectoryAt; built[at] != 0 || built[at + 1] != 0; at += 2) {
      project += static_cast<char16_t>(layout::LoadUint16(reinterpret_cast<const uint8_t*>(&built[at])));
    }
    const std::string samples = std::string(Q9_TEST_SOURCE_DIR) + "/samples";
    const Outcome<std::string> text =
        ReadWholeFile(samples + "/" + name + ".json", kMaxContainerBytes, "a description may have");
    ASSERT_TRUE(text) << name;
    PackOptions options;
    options.defines["project"] = q9::Utf8FromUtf16(project);
    MemorySink sink;
    const PackResult packed = PackContainer(json::parse(*text), samples, sink, options);
    ASSERT_TRUE(packed.ok) << packed.error;
    EXPECT_TRUE(sink.bytes() == built) << name;
  }
}

// --- sinks ---

TEST(PackTest, FileAndMemorySinksGiveTheSameBytes) {
  q9::test::TempFolder folder;
  const std::u16string path = folder.File(u"sink.bin");
  MemorySink memory;
  FileSink file(q9::platform::DisplayPath(path));
  ASSERT_TRUE(file.opened());
  for (ContainerSink* sink : {static_cast<ContainerSink*>(&memory), static_cast<ContainerSink*>(&file)}) {
    EXPECT_TRUE(sink->WriteAt(0, "abcdef", 6));
    EXPECT_TRUE(sink->WriteAt(10, "XY", 2));    // a gap of zeros
    EXPECT_TRUE(sink->WriteAt(2, "12", 2));     // back over what was written
    EXPECT_TRUE(sink->WriteAt(20, nullptr, 0)); // nothing, yet the file reaches 20
    EXPECT_TRUE(sink->Finish(24));              // and ends with zeros
  }
  const std::string expected("ab12ef\0\0\0\0XY\0\0\0\0\0\0\0\0\0\0\0\0", 24);
  EXPECT_EQ(memory.bytes(), expected);
  EXPECT_EQ(q9::test::ReadFileBytes(path), expected);
}

TEST(PackTest, OutputThatCannotBeWrittenIsToldApartAndLeavesNoFile) {
  q9::test::TempFolder folder;
  const std::string missing = q9::platform::DisplayPath(folder.File(u"no-such-folder")) + "/x.sm";
  const PackResult result = PackContainerToFile(json::parse(kFixture), "", missing);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.sinkFailed);
  EXPECT_FALSE(FileSink(missing).opened());
}

// A source that gives another solid the second time it is asked, as an OBJ file changed between
// planning and writing would.
class ChangingSolids : public SolidSource {
 public:
  uint64_t count() const override { return 2; }
  bool Solid(uint64_t index, SolidValues& solid) override {
    solid = SolidValues();
    solid.name = calls_++ < 2 ? u"a" : u"longer";
    solid.id = static_cast<uint32_t>(index);
    return true;
  }

 private:
  int calls_ = 0;
};

TEST(PackTest, SolidsThatChangeWhileWrittenStopThePackAndLeaveNoFile) {
  q9::test::TempFolder folder;
  const std::u16string out = folder.File(u"changed.pdx");
  ContainerContent content;
  GeometryContent geometry;
  geometry.solids = std::make_shared<ChangingSolids>();
  content.entries.emplace_back().section = std::move(geometry);
  ContainerPlan plan = PlanContainer(std::move(content));
  try {
    WriteContainerToFile(plan, q9::platform::DisplayPath(out));
    ADD_FAILURE() << "written";
  } catch (const PackError& e) {
    EXPECT_THAT(e.what(), HasSubstr("solid 0 changed while the container was written"));
  }
  EXPECT_FALSE(q9::test::FileExists(out));
}

// --- the plan's limit ---

json HexEntry(size_t bytes, uint32_t offset) {
  return {{"entries", json::array({{{"offset", offset}, {"hex", std::string(2 * bytes, 'a')}}})}};
}

TEST(PackTest, PlanRefusesWhatReachesBeyondItsLimit) {
  PackOptions options;
  options.limits.maxBytes = layout::kHeaderSize + 100;
  // Exactly up to the limit, and one byte beyond it.
  MemorySink sink;
  EXPECT_TRUE(PackContainer(HexEntry(100, layout::kHeaderSize), "", sink, options).ok);
  EXPECT_EQ(sink.bytes().size(), layout::kHeaderSize + 100);
  const PackResult over = PackContainer(HexEntry(101, layout::kHeaderSize), "", sink, options);
  EXPECT_FALSE(over.ok);
  EXPECT_FALSE(over.sinkFailed);
  EXPECT_EQ(over.error, "entry 0: the container would grow beyond 208744 bytes, the most it may have");

  // Sizes a description may ask for without writing them out: padding, offsets, patches; cut
  // or not, the container may not grow beyond the limit.
  const json padded = {{"entries", json::array({{{"geometry", {{"solids", json::array({{{"padding", 2147483647}}})}}}}})}};
  EXPECT_THAT(PackContainer(padded, "", sink, options).error, HasSubstr("entry 0: the container would grow"));
  json farCut = HexEntry(1, 2147483647);
  farCut["truncate"] = 208700;
  EXPECT_FALSE(PackContainer(farCut, "", sink, options).ok);
  const json patch = {{"patches", json::array({{{"at", 208744}, {"uint8", 1}}})}};
  EXPECT_THAT(PackContainer(patch, "", sink, options).error, HasSubstr("patch 0: the container would grow"));
  options.limits.maxBytes = 1000;
  EXPECT_THAT(PackContainer(json::object(), "", sink, options).error, HasSubstr("header: the container would grow"));
  EXPECT_TRUE(sink.bytes().size() == layout::kHeaderSize + 100) << "nothing written on refusal";
}

TEST(PackTest, PlanRefusesFilesBeyondItsLimitBeforeReadingThem) {
  q9::test::TempFolder folder;
  q9::test::WriteFileBytes(folder.File(u"big.txt"), std::string(300000, 'm'));
  q9::test::WriteFileBytes(folder.File(u"big.obj"), std::string(300000, '#'));
  PackOptions options;
  options.limits.maxBytes = layout::kHeaderSize + 1000;
  const std::string where = q9::platform::DisplayPath(folder.path());
  MemorySink sink;
  const json material = {{"entries", json::array({{{"geometry",
      {{"materials", json::array({{{"file", "big.txt"}}})}}}}})}};
  EXPECT_THAT(PackContainer(material, where, sink, options).error,
              HasSubstr("big.txt: 300000 bytes, more than the container may have (209644)"));
  const json mesh = {{"entries", json::array({{{"geometry", {{"solids", json::array({{
      {"meshes", json::array({{{"obj", "big.obj"}}})}}})}}}}})}};
  EXPECT_THAT(PackContainer(mesh, where, sink, options).error, HasSubstr("big.obj: 300000 bytes"));
  // A long define named again and again: refused before its text is made.
  const json named = {{"defines", {{"a", std::string(100000, 'x')}}},
                      {"header", {{"name", "${a}${a}${a}${a}${a}"}}}};
  EXPECT_THAT(PackContainer(named, where, sink, options).error,
              HasSubstr("\"${a}\": the replacements would make more text than the container may hold"));
}

TEST(PackTest, WholeFilesAreReadUpToTheirLimitAndNoFurther) {
  q9::test::TempFolder folder;
  q9::test::WriteFileBytes(folder.File(u"ten.txt"), "0123456789");
  q9::test::WriteFileBytes(folder.File(u"empty.txt"), "");
  const std::string ten = q9::platform::DisplayPath(folder.File(u"ten.txt"));
  const Outcome<std::string> within = ReadWholeFile(ten, 10, "ten bytes");
  ASSERT_TRUE(within);
  EXPECT_EQ(*within, "0123456789");
  const Outcome<std::string> over = ReadWholeFile(ten, 9, "nine bytes");
  ASSERT_FALSE(over);
  EXPECT_EQ(over.failure().reason, ten + ": 10 bytes, more than nine bytes (9)");
  const Outcome<std::string> empty = ReadWholeFile(q9::platform::DisplayPath(folder.File(u"empty.txt")), 0, "none");
  ASSERT_TRUE(empty);
  EXPECT_EQ(*empty, "");
  for (const std::string& unreadable : {q9::platform::DisplayPath(folder.path()),
                                        q9::platform::DisplayPath(folder.File(u"missing.txt"))}) {
    const Outcome<std::string> read = ReadWholeFile(unreadable, 100, "a hundred bytes");
    ASSERT_FALSE(read) << unreadable;
    EXPECT_EQ(read.failure().reason, "cannot read " + unreadable);
  }
}

TEST(PackTest, ConfinedDescriptionsNameFilesOnlyBelowTheirFolder) {
  q9::test::TempFolder folder;
  q9::test::MakeFolder(folder.File(u"in"));
  q9::test::WriteFileBytes(folder.File(u"in\\oak.txt"), "MaterialID_Name [M]\n");
  q9::test::WriteFileBytes(folder.File(u"outside.txt"), "MaterialID_Name [X]\n");
  const std::string in = q9::platform::DisplayPath(folder.File(u"in"));
  const auto material = [](const std::string& file) {
    return json{{"entries", json::array({{{"geometry", {{"materials", json::array({{{"file", file}}})}}}}})}};
  };
  PackOptions options;
  options.filesInFolderOnly = true;
  MemorySink sink;
  EXPECT_TRUE(PackContainer(material("oak.txt"), in, sink, options).ok);
  EXPECT_TRUE(PackContainer(material("./oak.txt"), in, sink, options).ok);
  const std::string outside = q9::platform::DisplayPath(folder.File(u"outside.txt"));
  for (const std::string& name : {std::string("../outside.txt"), std::string("in/../../outside.txt"),
                                  std::string("..\\outside.txt"), outside, std::string("C:outside.txt")}) {
    EXPECT_EQ(PackContainer(material(name), in, sink, options).error, name + ": outside the description's folder");
  }
  const json mesh = {{"entries", json::array({{{"geometry", {{"solids", json::array({{
      {"meshes", json::array({{{"obj", "../room.obj"}}})}}})}}}}})}};
  EXPECT_THAT(PackContainer(mesh, in, sink, options).error, HasSubstr("outside the description's folder"));
  options.filesInFolderOnly = false;
  EXPECT_TRUE(PackContainer(material("../outside.txt"), in, sink, options).ok);
}

// A source of more solids than any file could hold; counts what it is asked.
class EndlessSolids : public SolidSource {
 public:
  uint64_t count() const override { return uint64_t{1} << 40; }
  bool Solid(uint64_t, SolidValues&) override {
    ++asked;
    return false;
  }
  uint64_t asked = 0;
};

TEST(PackTest, PlanRefusesATableBeyondItsLimitBeforeMakingAnySolid) {
  auto solids = std::make_shared<EndlessSolids>();
  ContainerContent content;
  GeometryContent geometry;
  geometry.solids = solids;
  content.entries.emplace_back().section = std::move(geometry);
  EXPECT_THROW(PlanContainer(std::move(content)), PackError);
  EXPECT_EQ(solids->asked, 0u);
}

// --- grid models ---

struct Walked {
  std::vector<std::string> materials;  // their texts
  std::vector<int32_t> ids;
  std::vector<q9::MeshItem> meshes;
  std::vector<std::vector<float>> positions, normals, uvs;
};

Walked Walk(const std::string& bytes) {
  q9::ContainerReader reader;
  reader.Attach(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  const int64_t base = layout::LoadInt32(reinterpret_cast<const uint8_t*>(
      bytes.data() + layout::kDirectoryAt + layout::kEntryOffsetAt));
  Walked walked;
  q9::GeometryVisitor visitor;
  visitor.material = [&](int64_t, std::u16string text) {
    walked.materials.push_back(q9::Utf8FromUtf16(text));
  };
  visitor.beginSolid = [&](const q9::SolidItem& solid) { walked.ids.push_back(solid.solidId); };
  const auto floats = [](const uint32_t* words, uint64_t count) {
    std::vector<float> values(count);
    if (count > 0) std::memcpy(values.data(), words, count * 4);
    return values;
  };
  visitor.mesh = [&](const q9::MeshItem& mesh) {
    walked.meshes.push_back(mesh);
    walked.positions.push_back(floats(mesh.array1, mesh.counts[0]));
    walked.uvs.push_back(floats(mesh.array2, mesh.counts[1]));
    walked.normals.push_back(floats(mesh.array5, mesh.counts[4]));
  };
  q9::WalkGeometrySection(reader, base, visitor);
  return walked;
}

std::string PackedGrid(const GridModel& model) {
  ContainerPlan plan = PlanContainer(GridContainer(model));
  MemorySink sink;
  WriteContainer(plan, sink);
  return sink.Take();
}

TEST(PackTest, GridModelReadsBackAsBoxesInTheirCells) {
  GridModel model;
  model.solids = 10;  // four columns: the last row holds two
  const Walked walked = Walk(PackedGrid(model));
  ASSERT_EQ(walked.materials.size(), 4u);
  EXPECT_THAT(walked.materials[0], HasSubstr("MaterialID_Name [Grid_Clay]"));
  EXPECT_THAT(walked.ids, ::testing::ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10));
  ASSERT_EQ(walked.meshes.size(), 10u);
  for (size_t i = 0; i < walked.meshes.size(); ++i) {
    EXPECT_EQ(walked.meshes[i].triangleCount(), 12);
    EXPECT_THAT(walked.meshes[i].counts, ::testing::ElementsAre(108, 72, 0, 0, 108, 0, 0, 0));
    EXPECT_EQ(walked.meshes[i].meshName, GridMaterialOf(i, 10));
  }

  // Solid 7 (id 8): column 3 of row 1, its corners exactly the box's, every face facing out.
  const GridBox box = GridBoxOf(7, 10);
  EXPECT_EQ(box.x, 3 * kGridPitch);
  EXPECT_EQ(box.y, 1 * kGridPitch);
  const std::vector<float>& p = walked.positions[7];
  const std::vector<float>& n = walked.normals[7];
  float low[3] = {1e9f, 1e9f, 1e9f}, high[3] = {-1e9f, -1e9f, -1e9f};
  for (size_t v = 0; v < p.size(); v += 3) {
    for (int a = 0; a < 3; ++a) {
      low[a] = std::min(low[a], p[v + a]);
      high[a] = std::max(high[a], p[v + a]);
    }
  }
  EXPECT_THAT(low, ::testing::ElementsAre(600, 200, 0));
  EXPECT_THAT(high, ::testing::ElementsAre(750, 350, static_cast<float>(box.height)));
  const float centre[3] = {675, 275, static_cast<float>(box.height / 2)};
  for (size_t t = 0; t < p.size(); t += 9) {
    // Counter-clockwise seen from outside: the winding's normal is the stored one.
    float e1[3], e2[3], cross[3], toCorner = 0, agree = 0, length = 0;
    for (int a = 0; a < 3; ++a) {
      e1[a] = p[t + 3 + a] - p[t + a];
      e2[a] = p[t + 6 + a] - p[t + a];
    }
    cross[0] = e1[1] * e2[2] - e1[2] * e2[1];
    cross[1] = e1[2] * e2[0] - e1[0] * e2[2];
    cross[2] = e1[0] * e2[1] - e1[1] * e2[0];
    for (int a = 0; a < 3; ++a) {
      toCorner += n[t + a] * (p[t + a] - centre[a]);
      agree += n[t + a] * cross[a];
      length += n[t + a] * n[t + a];
    }
    EXPECT_GT(toCorner, 0) << "triangle " << t / 9;
    EXPECT_GT(agree, 0) << "triangle " << t / 9;
    EXPECT_FLOAT_EQ(length, 1);
  }
  for (const float uv : walked.uvs[7]) EXPECT_GE(uv, 0);
}

TEST(PackTest, GridSolidsOfMoreTrianglesSplitTheirTops) {
  GridModel model;
  model.solids = 1;
  model.trianglesPerSolid = 20;
  const Walked walked = Walk(PackedGrid(model));
  ASSERT_EQ(walked.meshes.size(), 1u);
  EXPECT_EQ(walked.meshes[0].triangleCount(), 20);
  model.trianglesPerSolid = 13;
  EXPECT_THROW(GridContainer(model), PackError);
}

}  // namespace
}  // namespace q9x
