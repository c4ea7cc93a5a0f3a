#include "q9x/q9x.h"

#include <gmock/gmock.h>

#include <sstream>

#include <nlohmann/json.hpp>

#include "base/platform.h"
#include "base/text.h"
#include "q9x_call.h"
#include "test_files.h"

namespace q9x {
namespace {

using nlohmann::json;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

class Q9xTest : public ::testing::Test {
 protected:
  std::string Path(std::u16string_view name) { return q9::platform::DisplayPath(folder.File(name)); }
  void WriteText(std::u16string_view name, const std::string& text) {
    q9::test::WriteFileBytes(folder.File(name), text);
  }
  // Packs `description` (written to a file) into `out`.
  Result PackFile(const json& description, std::u16string_view out, std::vector<std::string> extra = {}) {
    WriteText(u"description.json", description.dump(2));
    std::vector<std::string> args{"pack", Path(u"description.json"), Path(out)};
    args.insert(args.end(), extra.begin(), extra.end());
    return Q9x(args);
  }
  json InspectJson(std::u16string_view name) {
    const Result result = Q9x({"inspect", Path(name), "--json"});
    EXPECT_EQ(result.status, 0) << result.err;
    return json::parse(result.out);
  }

  q9::test::TempFolder folder;
};

// --- help ---

TEST_F(Q9xTest, HelpNamesEveryCommandWithExamples) {
  const Result help = Q9x({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* command : {"inspect", "pack", "run", "summary"}) {
    EXPECT_THAT(help.out, HasSubstr(std::string("  ") + command));
    const Result own = Q9x({command, "--help"});
    EXPECT_EQ(own.status, 0) << command;
    EXPECT_THAT(own.out, HasSubstr("usage: q9x " + std::string(command)));
    EXPECT_THAT(own.out, HasSubstr("example"));
    EXPECT_EQ(Q9x({"help", command}).out, own.out);
  }
  EXPECT_THAT(help.out, HasSubstr("examples:"));
}

TEST_F(Q9xTest, WrongCommandLinesAreUsageErrors) {
  EXPECT_EQ(Q9x({}).status, kUsage);
  const Result unknown = Q9x({"explode"});
  EXPECT_EQ(unknown.status, kUsage);
  EXPECT_THAT(unknown.err, HasSubstr("unknown command \"explode\""));
  EXPECT_EQ(Q9x({"inspect"}).status, kUsage);
  EXPECT_EQ(Q9x({"pack", "only-one"}).status, kUsage);
  EXPECT_EQ(Q9x({"pack", "a", "b", "--set", "novalue"}).status, kUsage);
  EXPECT_EQ(Q9x({"summary"}).status, kUsage);
  EXPECT_EQ(Q9x({"run", "--folder"}).status, kUsage);
}

// --- pack and inspect ---

TEST_F(Q9xTest, PackedContainerInspectsAsDescribed) {
  WriteText(u"oak.txt", "MaterialID_Name [M_Oak]\n");
  WriteText(u"tri.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n");
  const json description = {
      {"defines", {{"project", "C:\\default.pln"}}},
      {"header", {{"name", "Villa"}, {"preservedWord", 77}}},
      {"entries", json::array({
           {{"name", "${project}"},
            {"changeList", {{"items", json::array({{{"kind", "Solid"}, {"ids", {3, 4}}},
                                                   {{"kind", "Door"}, {"ids", {9}}}})}}}},
           {{"name", "${project}"},
            {"geometry", {{"materials", json::array({{{"file", "oak.txt"}}})},
                          {"lights", json::array({{{"text", "LightSolidID [5]"}}})},
                          {"solids", json::array({{{"id", -2}, {"timeStamp", 40},
                                                   {"meshes", json::array({{{"name", "M_Oak"}, {"obj", "tri.obj"}}})}}})},
                          {"views", {{"text", "Cameras_Start\nCameras_End\n"}}}}}}})}};
  const Result packed = PackFile(description, u"a.sm", {"--set", "project=D:\\p\\Villa.pln"});
  ASSERT_EQ(packed.status, 0) << packed.err;
  EXPECT_THAT(packed.err, IsEmpty());

  const json inspection = InspectJson(u"a.sm");
  EXPECT_EQ(inspection["header"]["name"], "Villa");
  EXPECT_EQ(inspection["header"]["preservedWord"], 77);
  EXPECT_EQ(inspection["header"]["lastEntryIndex"], 1);
  ASSERT_EQ(inspection["entries"].size(), 2u);
  const json& changes = inspection["entries"][0];
  EXPECT_EQ(changes["name"], "D:\\p\\Villa.pln");
  EXPECT_EQ(changes["typeName"], "changeList");
  EXPECT_EQ(changes["section"]["items"][0]["ids"], json({3, 4}));
  EXPECT_EQ(changes["section"]["items"][1]["skipped"], true);
  const json& geometry = inspection["entries"][1]["section"];
  EXPECT_EQ(geometry["materials"][0]["textUnits"], 24);
  EXPECT_EQ(geometry["lights"].size(), 1u);
  const json& solid = geometry["solids"][0];
  EXPECT_EQ(solid["solidId"], -2);
  EXPECT_EQ(solid["nodeName"], "Solid_-2");
  EXPECT_EQ(solid["timeStamp"], 40);
  EXPECT_EQ(solid["meshes"][0]["meshName"], "M_Oak");
  EXPECT_EQ(solid["meshes"][0]["triangles"], 2);
  EXPECT_EQ(solid["meshes"][0]["arrayCounts"], json({18, 12, 0, 0, 18, 0, 0, 0}));
  EXPECT_TRUE(geometry.contains("views"));
  EXPECT_THAT(geometry["damage"], IsEmpty());

  const Result text = Q9x({"inspect", Path(u"a.sm")});
  EXPECT_THAT(text.out, HasSubstr("entry 1: geometry (type 2) at "));
  EXPECT_THAT(text.out, HasSubstr("solid -2 at "));
  EXPECT_THAT(text.out, HasSubstr("mesh \"M_Oak\" at "));
  EXPECT_THAT(text.out, HasSubstr(": 2 triangles; array counts 18 12 0 0 18 0 0 0"));
  EXPECT_THAT(text.out, HasSubstr("\"Door\" at "));
  EXPECT_THAT(text.out, HasSubstr("damage: none"));
}

TEST_F(Q9xTest, InspectSaysWhereAFileIsDamaged) {
  const json mesh = {{"name", "m"}, {"raw", {{"1", {1, 2, 3, 4, 5, 6, 7, 8, 9}}}}};
  const json description = {{"entries", json::array({{{"name", "p"},
      {"geometry", {{"solids", json::array({{{"id", 1}, {"meshes", json::array({mesh})}}})}}}}})}};
  ASSERT_EQ(PackFile(description, u"full.pdx").status, 0);
  const std::string full = q9::test::ReadFileBytes(folder.File(u"full.pdx"));
  // Cut inside array 1's values.
  WriteText(u"cut.pdx", full.substr(0, full.size() - 28 - 8));
  const Result text = Q9x({"inspect", Path(u"cut.pdx")});
  EXPECT_EQ(text.status, kDamaged);
  EXPECT_THAT(text.out, HasSubstr("damaged mesh array: count 9 at "));
  EXPECT_THAT(text.out, HasSubstr("cut to 7, all the file holds"));
  EXPECT_THAT(text.out, HasSubstr("arrays cut by the file's end: [1]"));
}

TEST_F(Q9xTest, InspectOfAShortOrMissingFile) {
  WriteText(u"short.sm", std::string(1000, '\0'));
  const Result text = Q9x({"inspect", Path(u"short.sm")});
  EXPECT_EQ(text.status, kDamaged);
  EXPECT_THAT(text.out, HasSubstr("shorter than a container header"));
  EXPECT_EQ(q9::test::ReadFileBytes(folder.File(u"short.sm")).size(), 1000u) << "never written";
  const Result missing = Q9x({"inspect", Path(u"none.sm")});
  EXPECT_EQ(missing.status, kFailed);
  EXPECT_THAT(missing.err, HasSubstr("cannot open"));
}

TEST_F(Q9xTest, PackWritesOverridesPatchesAndCuts) {
  const json description = {
      {"header", {{"lastEntryIndex", 7}, {"headerSize", 1}}},
      {"entries", json::array({{{"name", "p"}, {"type", 9}, {"offset", 208650}, {"offsetValue", -4}, {"hex", "abcd"}}})},
      {"patches", json::array({{{"entry", 0}, {"at", 1}, {"uint8", 0xEF}}, {{"at", 0}, {"int32", -2}}})},
      {"truncate", 208652}};
  ASSERT_EQ(PackFile(description, u"o.sm").status, 0);
  const std::string bytes = q9::test::ReadFileBytes(folder.File(u"o.sm"));
  ASSERT_EQ(bytes.size(), 208652u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\xfe\xff\xff\xff\x01\0\0\0", 8));
  EXPECT_EQ(bytes.substr(1040, 4), std::string("\x07\0\0\0", 4));
  EXPECT_EQ(bytes.substr(1044 + 2056, 8), std::string("\x09\0\0\0\xfc\xff\xff\xff", 8));
  EXPECT_EQ(bytes.substr(208650), "\xab\xef");
}

TEST_F(Q9xTest, PackReportsWhatItCannotDo) {
  Result undefined = PackFile({{"entries", json::array({{{"name", "${nowhere}"}}})}}, u"x.sm");
  EXPECT_EQ(undefined.status, kFailed);
  EXPECT_THAT(undefined.err, HasSubstr("\"${nowhere}\" is not defined"));
  Result missing = PackFile({{"entries", json::array({{{"geometry", {{"materials", json::array({{{"file", "gone.txt"}}})}}}}})}}, u"x.sm");
  EXPECT_EQ(missing.status, kFailed);
  EXPECT_THAT(missing.err, HasSubstr("cannot read"));
  WriteText(u"bad.json", "{ not json");
  EXPECT_EQ(Q9x({"pack", Path(u"bad.json"), Path(u"x.sm")}).status, kFailed);
  EXPECT_FALSE(q9::test::FileExists(folder.File(u"x.sm")));
}

// --- summary ---

TEST_F(Q9xTest, SummaryOfAnArchiveAndOfAJournal) {
  WriteText(u"a.q9a", R"({"format": "Q9Plugin reference raw archive", "version": 1, "model": "villa",
    "materialVersion": 1, "materials": [{"name": "Oak", "type": 1, "properties": {"name": "Oak"}}],
    "lights": [], "nodes": [{"name": "Solid_1", "triangles": 3, "meshes": [{"name": "wall", "triangles": 3}]}],
    "scenes": [{"name": "Front"}], "camera": {"camera": {"fov": 60.0, "from": [1, 2, 3],
    "to": [0, 0, 3], "up": [0, 0, 1]}, "fov": 60.0}})");
  const Result archive = Q9x({"summary", Path(u"a.q9a")});
  EXPECT_EQ(archive.status, 0);
  EXPECT_THAT(archive.out, HasSubstr("raw archive of model \"villa\""));
  EXPECT_THAT(archive.out, HasSubstr("\"Oak\": type 1, 1 properties"));
  EXPECT_THAT(archive.out, HasSubstr("nodes (1, 3 triangles)"));
  EXPECT_THAT(archive.out, HasSubstr("\"Solid_1\": 3 triangles in 1 mesh (\"wall\")"));
  EXPECT_THAT(archive.out, HasSubstr("scenes (1): \"Front\""));
  EXPECT_THAT(archive.out, HasSubstr("camera: from [1,2,3] to [0,0,3] up [0,0,1], fov 60.0\n"));

  WriteText(u"j.jsonl", R"({"fn":"CreateSession","args":[],"ret":1}
{"fn":"MaxAddTriangles","h":1,"args":["wall",1,[1,2,3,4,5,6,7,8,9],[5],[2],0]}
)");
  const Result journal = Q9x({"summary", Path(u"j.jsonl")});
  EXPECT_EQ(journal.status, 0);
  EXPECT_THAT(journal.out, HasSubstr("CreateSession [] -> 1\n"));
  EXPECT_THAT(journal.out, HasSubstr("MaxAddTriangles [\"wall\",1,\"[9 values]\",[5],[2],0]\n"));
  EXPECT_THAT(journal.out, HasSubstr("2 calls: CreateSession 1; MaxAddTriangles 1;"));

  WriteText(u"n.txt", "neither\n");
  EXPECT_EQ(Q9x({"summary", Path(u"n.txt")}).status, kFailed);
}

}  // namespace
}  // namespace q9x
