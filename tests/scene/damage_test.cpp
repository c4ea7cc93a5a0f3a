// Damaged containers: every cut of a small container, a sample of cuts of a large one, and
// hand-damaged headers, counts and offsets. Under the sanitizer build an over-read or overflow
// anywhere on these paths fails the run.
#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "inspection/inspection.h"
#include "scene/change_list.h"
#include "scene/container_format.h"
#include "scene/container_reader.h"
#include "scene/geometry_section.h"
#include "scene_fixture.h"

namespace q9 {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace fs = std::filesystem;

fs::path FsPath(const std::u16string& path) { return fs::path(platform::DisplayPath(path)); }

json Triangles(int count, float shift) {
  json values = json::array();
  for (int t = 0; t < count; ++t) {
    for (float v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f}) values.push_back(v + shift + t);
  }
  return values;
}

json MeshOf(const std::string& name, int triangles) {
  json uv = json::array();
  for (int i = 0; i < triangles * 6; ++i) uv.push_back(0.5);
  return {{"name", name},
          {"tag", "t"},
          {"arrays", {{"1", Triangles(triangles, 0)}, {"5", Triangles(triangles, 1)}, {"2", uv},
                      {"3", {1, 2}}, {"8", {3}}}}};
}

// A container as the host writes an update: a change list, then a geometry section with
// materials, lights, solids with meshes, and views.
json SmallUpdate() {
  return {{"header", {{"name", "Damaged"}}},
          {"entries", json::array({
               {{"name", "P"},
                {"changeList", {{"items", json::array({{{"kind", "Solid"}, {"ids", {1, 2}}},
                                                       {{"kind", "Material"}, {"ids", {7}}}})}}}},
               {{"name", "P"},
                {"geometry",
                 {{"materials", json::array({{{"text", "MaterialID_Name [A]\nnTimeID [3]\n"}},
                                             {{"text", "MaterialID_Name [B]\n"}}})},
                  {"lights", json::array({{{"text", "LightSolidID [4]\n"}}, {{"text", "LightSource [spot]\n"}}})},
                  {"solids", json::array({{{"id", 1}, {"timeStamp", 11}, {"name", "one"},
                                           {"meshes", json::array({MeshOf("a", 1), MeshOf("b", 2)})}},
                                          nullptr,
                                          {{"id", 2}, {"timeStamp", 22}, {"meshes", json::array({MeshOf("c", 1)})}},
                                          {{"id", 3}, {"timeStamp", 33}, {"meshes", json::array()}}})},
                  {"views", {{"text", "Cameras_Start\nCameras_nActCamera [0]\nCameras_End\n"}}}}}}})}};
}

// A section large enough that cutting it is not the same as cutting its header.
json LargeModel() {
  json solids = json::array();
  for (int i = 0; i < 80; ++i) {
    solids.push_back({{"id", i + 1}, {"timeStamp", 1000 + i},
                      {"meshes", json::array({MeshOf("m" + std::to_string(i), 20)})}});
  }
  return {{"entries", json::array({{{"name", "Big"}, {"geometry", {{"solids", solids}}}}})}};
}

// The solids of a file that a complete read finds, by id, with the offset where each item's
// reading ends (the next item's start).
struct SolidSpan {
  int32_t id;
  int32_t timeStamp;
  int64_t end;
};

class DamageTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    // The sweeps make thousands of calls; the journal would only slow them down.
    test::ReferenceLink::SetVariable("Q9PLUGIN_JOURNAL", std::nullopt);
  }

  // Every solid of entry `index`, complete, with where its reading ends.
  std::vector<SolidSpan> Spans(const std::u16string& path, int index) {
    const json inspection = *q9x::InspectContainer(platform::DisplayPath(path));
    const json& section = inspection["entries"][index]["section"];
    std::vector<SolidSpan> spans;
    for (const json& solid : section["solids"]) {
      spans.push_back({solid["solidId"], solid["timeStamp"], 0});
    }
    const json& solids = section["solids"];
    for (size_t i = 0; i < spans.size(); ++i) {
      spans[i].end = i + 1 < solids.size() ? solids[i + 1]["at"].get<int64_t>()
                     : section.contains("views") ? section["views"]["at"].get<int64_t>()
                                                  : inspection["length"].get<int64_t>();
    }
    return spans;
  }

  // Loads entry `index` of the file cut to `length` and checks what a cut may and may not do;
  // with `changes` the change list of entry 0 is applied first, with `inspect` the file is also
  // explained by the tool.
  void LoadCut(const std::u16string& path, int64_t length, int index,
               const std::vector<SolidSpan>& spans, bool changes, bool inspect) {
    SCOPED_TRACE("cut at " + std::to_string(length));
    container.solids.clear();
    container.currentSectionName = u"P";
    container.path = path;
    if (changes) container.applyChanges();
    container.loadSection(index);
    ASSERT_EQ(container.file, nullptr);
    for (const SolidSpan& span : spans) {
      if (span.end > length) continue;
      // A solid whose bytes all lie before the cut is read as in the intact file.
      const auto solid = container.solids.find(static_cast<uint32_t>(span.id));
      ASSERT_NE(solid, container.solids.end()) << "solid " << span.id;
      EXPECT_EQ(solid->second.timeStamp, span.timeStamp);
    }
    if (inspect) {
      ASSERT_TRUE(q9x::InspectContainer(platform::DisplayPath(path)));
    }
  }
};

TEST_F(DamageTest, EveryCutOfASmallContainer) {
  const std::string bytes = Pack(SmallUpdate());
  const std::u16string path = File(u"_mod.sm");
  test::WriteFileBytes(path, bytes);
  const std::vector<SolidSpan> spans = Spans(path, 1);
  ASSERT_EQ(spans.size(), 3u);
  // The change list lies first: beyond it, a cut changes nothing for the change list.
  const int64_t changeListEnd =
      (*q9x::InspectContainer(platform::DisplayPath(path)))["entries"][1]["offset"].get<int64_t>();
  for (int64_t length = static_cast<int64_t>(bytes.size()); length >= kContainerHeaderSize; --length) {
    fs::resize_file(FsPath(path), static_cast<uintmax_t>(length));
    LoadCut(path, length, 1, spans, length <= changeListEnd + 8, length % 5 == 0);
    if (HasFatalFailure()) return;
  }
}

TEST_F(DamageTest, CutsInsideTheHeaderAreLeftUntouched) {
  // Only an empty file receives a fresh header; the host's bytes of a shorter one are kept.
  const std::string bytes = Pack(SmallUpdate());
  for (size_t length : {0u, 1u, 4u, 16u, 1040u, 1044u, 100000u, 208643u}) {
    SCOPED_TRACE(length);
    test::WriteFileBytes(File(u"cut.sm"), bytes.substr(0, length));
    Use(u"cut.sm");
    container.applyChanges();
    container.loadSection(1);
    EXPECT_EQ(test::ReadFileBytes(File(u"cut.sm")).size(), length == 0 ? 208644u : length);
    EXPECT_THAT(container.solids, IsEmpty());
  }
}

// A container read from memory makes exactly the calls the same bytes make from a file, at every
// length (damage, zeros and budget alike), and never writes: a short one gets no fresh header.
TEST_F(DamageTest, BytesInMemoryReadAsTheSameFile) {
  test::ReferenceLink::SetVariable("Q9PLUGIN_JOURNAL", link.journalPath());
  const std::string bytes = Pack(SmallUpdate());
  const auto run = [&](const std::string& cut, bool fromMemory) {
    SceneContainer fresh(process);
    EXPECT_TRUE(link.Start(fresh.session));
    fresh.currentSectionName = u"P";
    fresh.path = File(u"cut.sm");
    if (fromMemory) {
      fresh.memory = std::span(reinterpret_cast<const uint8_t*>(cut.data()), cut.size());
      fs::remove(FsPath(fresh.path));
    } else {
      test::WriteFileBytes(fresh.path, cut);
    }
    fresh.applyChanges();
    fresh.loadSection(1);
    EXPECT_FALSE(fresh.reader.attached());
    return link.Texts();
  };
  for (size_t length = 0; length <= bytes.size(); length += length < 208000 ? 52000 : 37) {
    SCOPED_TRACE(length);
    const std::string cut = bytes.substr(0, length);
    const std::vector<std::string> fromMemory = run(cut, true);
    EXPECT_FALSE(fs::exists(FsPath(File(u"cut.sm"))));
    EXPECT_EQ(fromMemory, run(cut, false));
    if (length == bytes.size()) {
      EXPECT_THAT(fromMemory, Contains(HasSubstr("MaxAddTriangles")));
    }
  }
}

TEST(ContainerReaderTest, MemoryIsBoundedLikeAFile) {
  const uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
  ContainerReader reader;
  std::vector<ReadDamage::Kind> damage;
  reader.onDamage = [&](const ReadDamage& d) { damage.push_back(d.kind); };
  reader.Attach(bytes, sizeof bytes);
  EXPECT_TRUE(reader.attached());
  EXPECT_EQ(reader.length(), 6);
  EXPECT_EQ(reader.ReadUint32(), 0x04030201u);
  EXPECT_EQ(reader.ReadUint32(), 0x0605u);  // two bytes held, two read as zeros
  EXPECT_EQ(reader.position(), 6);
  reader.Seek(-1);
  reader.Seek(2);
  EXPECT_EQ(reader.CutCount(100, 2), 2u);
  EXPECT_EQ(damage, (std::vector{ReadDamage::Kind::PastEnd, ReadDamage::Kind::OffsetOutside,
                                 ReadDamage::Kind::CountCut}));

  // No bytes at all: attached, every read zero.
  reader.Attach(nullptr, 0);
  EXPECT_TRUE(reader.attached());
  EXPECT_EQ(reader.ReadUint32(), 0u);
  EXPECT_TRUE(reader.ReadString().empty());
  reader.Detach();
  EXPECT_FALSE(reader.attached());
}

// A field is taken where it lies when memory or the window holds it: across the window's edge,
// at the file's end and up to the budget's end it reads, charges and reports as the general read
// does (a reader that takes every field through Read(), here over the same bytes, is the
// reference).
TEST_F(DamageTest, FieldsReadAsTheGeneralReadGivesThemFromMemoryAndFromAFile) {
  std::string bytes(70003, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  const std::u16string path = File(u"fields.bin");
  test::WriteFileBytes(path, bytes);
  const platform::UniqueFile file = platform::OpenFile(path, "rb");
  ASSERT_TRUE(file);
  ContainerReader fromMemory, fromFile, general;
  std::vector<ReadDamage::Kind> damage[3];
  ContainerReader* readers[3] = {&fromMemory, &fromFile, &general};
  for (int r = 0; r < 3; ++r) {
    readers[r]->onDamage = [&damage, r](const ReadDamage& d) { damage[r].push_back(d.kind); };
  }
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  fromMemory.Attach(data, bytes.size());
  fromFile.Attach(file.get());
  general.Attach(data, bytes.size());
  const auto generalField = [&] {
    uint8_t field[4];
    general.Read(field, sizeof field);
    return container::LoadUint32(field);
  };
  // The window holds [0, 64 KiB) after the first read; 65533 lies across its edge.
  for (const int64_t at : {0, 65532, 65533, 65534, 65536, 69999, 70000, 70002, 3}) {
    SCOPED_TRACE(at);
    for (ContainerReader* reader : readers) reader->Seek(at);
    const uint32_t expected = generalField();
    EXPECT_EQ(fromMemory.ReadUint32(), expected);
    EXPECT_EQ(fromFile.ReadUint32(), expected);
    EXPECT_EQ(fromMemory.position(), general.position());
    EXPECT_EQ(fromFile.position(), general.position());
  }
  // Fields read over and over spend the budget after the same number of reads.
  size_t reads[3] = {};
  for (int r = 0; r < 3; ++r) {
    ContainerReader& reader = *readers[r];
    reader.Seek(0);
    while (!reader.spent()) {
      if (reader.position() > 60000) reader.Seek(0);
      static_cast<void>(r == 2 ? generalField() : reader.ReadUint32());
      ++reads[r];
    }
    EXPECT_EQ(reader.ReadUint32(), 0u);
  }
  EXPECT_GT(reads[2], 100000u);
  EXPECT_EQ(reads[0], reads[2]);
  EXPECT_EQ(reads[1], reads[2]);
  EXPECT_EQ(damage[0], damage[2]);
  EXPECT_EQ(damage[1], damage[2]);
  EXPECT_THAT(damage[2], Contains(ReadDamage::Kind::BudgetSpent));
}

TEST_F(DamageTest, SampleOfCutsOfALargeContainer) {
  const std::string bytes = Pack(LargeModel());
  const std::u16string path = File(u"_model.pdx");
  test::WriteFileBytes(path, bytes);
  const std::vector<SolidSpan> spans = Spans(path, 0);
  ASSERT_EQ(spans.size(), 80u);
  std::mt19937 random(20250307);
  std::uniform_int_distribution<int64_t> anywhere(kContainerHeaderSize, static_cast<int64_t>(bytes.size()) - 1);
  std::vector<int64_t> cuts;
  for (int i = 0; i < 50; ++i) cuts.push_back(anywhere(random));
  // Right at and around item boundaries, where a count or a string is cut in two.
  for (size_t i = 0; i < spans.size(); i += 15) {
    for (int64_t d : {-5, -1, 0, 1, 3}) cuts.push_back(spans[i].end + d);
  }
  std::sort(cuts.rbegin(), cuts.rend());
  for (int64_t length : cuts) {
    if (length < kContainerHeaderSize || length > static_cast<int64_t>(bytes.size())) continue;
    fs::resize_file(FsPath(path), static_cast<uintmax_t>(length));
    LoadCut(path, length, 0, spans, false, length % 10 == 0);
    if (HasFatalFailure()) return;
  }
}

// --- hand-damaged ---

class HandDamageTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    test::ReferenceLink::SetVariable("Q9PLUGIN_JOURNAL", std::nullopt);
  }
  // The damage texts inspect reports for entry `index`, and the file loaded through the product.
  std::vector<std::string> Damage(const json& description, int index) {
    Write(u"d.sm", description);
    Use(u"d.sm");
    container.currentSectionName = u"P";
    container.applyChanges();
    container.loadSection(index);
    EXPECT_EQ(container.file, nullptr);
    const json inspection = *q9x::InspectContainer(platform::DisplayPath(File(u"d.sm")));
    std::vector<std::string> texts;
    for (const json& entry : inspection["entries"]) {
      if (entry["index"] != index || !entry.contains("section")) continue;
      for (const json& damage : entry["section"]["damage"]) {
        texts.push_back(damage["what"].get<std::string>() + ": " + damage["message"].get<std::string>());
      }
    }
    return texts;
  }
  static json Geometry(json section) {
    return {{"entries", json::array({{{"name", "P"}, {"geometry", std::move(section)}}})}};
  }
};

TEST_F(HandDamageTest, HugeCountsAreCutToWhatTheFileHolds) {
  json mesh = MeshOf("m", 1);
  mesh["counts"] = {{"1", 0xFFFFFFFFu}};
  EXPECT_THAT(Damage(Geometry({{"materialCount", 0xFFFFFFFFu}, {"materials", json::array()},
                               {"solids", json::array({{{"id", 1}, {"meshes", json::array({mesh})}}})}}), 0),
              Contains(HasSubstr("material table: count 4294967295")));
  EXPECT_THAT(Damage(Geometry({{"solids", json::array({{{"id", 1}, {"meshes", json::array({mesh})}}})}}), 0),
              Contains(HasSubstr("mesh array: count 4294967295")));
  EXPECT_EQ(container.solids.count(1), 1u);
}

TEST_F(HandDamageTest, HugeLengthsOfTextsAreCut) {
  json solid = {{"id", 1}, {"meshes", json::array({MeshOf("m", 1)})}};
  json description = Geometry({{"materials", json::array({{{"text", "x"}, {"textBytes", 0x7FFFFFFF}}})},
                               {"lights", json::array({{{"text", "L"}}})}, {"solids", json::array({solid})}});
  // The light's string length (right behind the light table of one entry).
  const int lightString = 20 + 8 + 12 + 2 + 8;
  description["patches"] = json::array({{{"entry", 0}, {"at", lightString}, {"uint32", 0xFFFFFFFFu}}});
  const std::vector<std::string> damage = Damage(description, 0);
  EXPECT_THAT(damage, Contains(HasSubstr("material text: count 1073741823")));
  EXPECT_THAT(damage, Contains(HasSubstr("light text: count 4294967295")));
}

TEST_F(HandDamageTest, OffsetsOutsideTheFileReadAsZeros) {
  json description = Geometry({{"solids", json::array({{{"id", 1}}, {{"id", 2}}})}});
  // The first solid's offset (in its table at 20 + 4) made negative, the second beyond the end.
  description["patches"] = json::array({{{"entry", 0}, {"at", 24}, {"int32", -300000}},
                                        {{"entry", 0}, {"at", 28}, {"int32", 0x7FFFFFF0}}});
  const std::vector<std::string> damage = Damage(description, 0);
  EXPECT_THAT(damage, Contains(HasSubstr("solid item: offset -91356 lies outside the file")));
  EXPECT_THAT(damage, Contains(HasSubstr("lies outside the file")));
  // Both read as zeros: a solid 0 with no meshes.
  EXPECT_EQ(container.solids.size(), 1u);
  EXPECT_EQ(container.solids.count(0), 1u);
}

TEST_F(HandDamageTest, DamagedHeaderFieldsAndEntryOffsets) {
  json description = Geometry({{"solids", json::array({{{"id", 1}}})}});
  description["header"] = {{"lastEntryIndex", 0x7FFFFFFF}, {"headerSize", -5}, {"nameLength", 99999}};
  description["entries"][0]["offsetValue"] = -1;
  EXPECT_THAT(Damage(description, 0), Contains(HasSubstr("section header: offset -1")));
  EXPECT_THAT(container.solids, IsEmpty());

  description["entries"][0]["offsetValue"] = 0x7FFFFFFF;
  EXPECT_THAT(Damage(description, 0), Contains(HasSubstr("offset 2147483647 lies outside")));

  // Negative header lengths move back into the item: whatever is read there, it is bounded.
  json negative = Geometry({{"solids", json::array({{{"id", 1}, {"headerLength", -8},
                                                     {"meshes", json::array({MeshOf("m", 1)})}}})}});
  Damage(negative, 0);
  EXPECT_EQ(container.file, nullptr);
}

TEST_F(HandDamageTest, AnArrayCutByTheEndIsNotHandedToTheRenderer) {
  test::ReferenceLink::SetVariable("Q9PLUGIN_JOURNAL", link.journalPath());
  json mesh = {{"name", "m"}, {"raw", {{"1", {1, 2, 3, 4, 5, 6, 7, 8, 9}}, {"2", {22, 23}}, {"5", {55, 56, 57}}}}};
  const json description = Geometry({{"solids", json::array({{{"id", 1}, {"meshes", json::array({mesh})}}})}});
  const size_t size = Pack(description).size();
  json cut = description;
  cut["truncate"] = size - 12 - 4;  // arrays 6 to 8 and the last value of array 5
  Damage(cut, 0);
  EXPECT_THAT(link.Texts(), Contains("MaxAddTriangles [\"m\",1,[1,2,3,4,5,6,7,8,9],null,[22],0]"));
}

TEST_F(HandDamageTest, TablesPointingAtTheSameItemsAgainAndAgainStop) {
  // 20 000 solids, all the same one, whose 20 000 meshes are all the same 4 KB mesh: read
  // naively that is 400 million meshes.
  RawBytes raw;
  const uint32_t entries = 20000;
  const uint32_t solid = 20 + 4 + 4 * entries;
  const uint32_t meshList = solid + 33;
  const uint32_t mesh = meshList + 4 + 4 * entries;
  raw.Put32(8, 1).Put32(20, entries);
  for (uint32_t i = 0; i < entries; ++i) raw.Put32(24 + 4 * i, solid);
  raw.Put32(solid + 4, 29).Put32(solid + 25, 77).Put32(meshList, entries);
  for (uint32_t i = 0; i < entries; ++i) raw.Put32(meshList + 4 + 4 * i, mesh);
  raw.Put32(mesh + 4, 20);                  // arrays right behind two empty strings
  raw.Put32(mesh + 24, 1000);               // array 1: 1000 values
  raw.Grow(mesh + 24 + 4 + 4000 + 28);
  Write(u"bomb.pdx", {{"entries", json::array({{{"name", "P"}, {"type", 2}, {"hex", raw.Hex()}}})}});

  Use(u"bomb.pdx");
  container.loadHeader();
  uint64_t meshes = 0;
  GeometryVisitor visitor;
  visitor.mesh = [&](const MeshItem&) { ++meshes; };
  WalkGeometrySection(container.reader, container.entries[0].offset(), visitor);
  EXPECT_TRUE(container.reader.spent());
  EXPECT_LT(meshes, 20000u) << "the reading stops long before";
  container.Close();

  container.loadSection(0);  // the same through the product: it ends
  EXPECT_EQ(container.solids.count(77), 1u);
  const json inspection = *q9x::InspectContainer(platform::DisplayPath(File(u"bomb.pdx")));
  EXPECT_THAT(inspection["entries"][0]["section"]["damage"].dump(), HasSubstr("again and again"));
}

TEST_F(HandDamageTest, ChangeListPointingAtOneHugeItemAgainAndAgainStops) {
  RawBytes raw;
  const uint32_t values = 40000;
  const uint32_t item = 4 + 4 * values;
  raw.Put32(0, values);
  for (uint32_t i = 0; i < values; i += 2) raw.Put32(4 + 4 * i, item);
  const size_t ids = raw.PutString(item, u"Solid");
  raw.Put32(ids, 100000);
  raw.Grow(ids + 4 + 400000);
  Write(u"_mod.sm", {{"entries", json::array({{{"name", ""}, {"type", 4}, {"hex", raw.Hex()}}})}});
  Use(u"_mod.sm");
  container.applyChanges();
  EXPECT_EQ(container.changedSolids.size(), 100000u);
  EXPECT_EQ(container.file, nullptr);
}

}  // namespace
}  // namespace q9
