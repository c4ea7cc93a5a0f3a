// q9x diff: one table of small journals compared through the reader and the comparison, and the
// command with its exit statuses, its limit on what it lists and its JSON document.
#include <gmock/gmock.h>

#include <bit>

#include <nlohmann/json.hpp>

#include "base/platform.h"
#include "journal.h"
#include "q9x_call.h"
#include "received/diff_report.h"
#include "received/raw_archive.h"
#include "received/scene_diff.h"
#include "received/scene_reader.h"
#include "test_files.h"

namespace q9x {
namespace {

using nlohmann::json;
using q9::test::JournalLine;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

const json kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
const json kBlock = {0, -5, 2, 0, 0, 0, 0, 0, 1, 55};

std::string Material(const std::string& name, const std::string& colour, float opacity = 1) {
  return JournalLine("Q9AddMaterial", {name}) + JournalLine("Q9SetMaterialType", {name, 1}) +
         JournalLine("Q9SetMaterialStringProperty", {name, "Diffuse (Color)", colour}) +
         JournalLine("Q9SetMaterialFloatProperty", {name, "Opacity", opacity});
}

// A mesh of `corners` (nine floats a triangle) in `material`.
std::string Mesh(const std::string& material, const std::vector<float>& corners) {
  json words = json::array();
  for (const float value : corners) words.push_back(std::bit_cast<uint32_t>(value));
  return JournalLine("MaxAddTriangles", {material, corners.size() / 9, words, json::array({0}), json::array({0}), 0});
}

std::string NodeOf(const std::string& name, const std::string& meshes, const json& matrix = kIdentity) {
  return JournalLine("MaxBeginNode", {name, matrix, true}) + meshes + JournalLine("Q9EndNode", json::array());
}

// A node of one triangle with a corner at (x, 0, 0), in `material`.
std::string Node(const std::string& name, float x, const std::string& material = "Oak", const json& matrix = kIdentity) {
  return NodeOf(name, Mesh(material, {x, 0, 0, 1, 0, 0, 0, 1, 0}), matrix);
}

const std::string kLight = JournalLine("Q9AddLight", {"Sun"}) + JournalLine("Q9SetEntityFloatProperty", {1, "Sun", "brightness", 2});
const std::string kViews = JournalLine("AddScene", {"S1", "Front", kBlock, 82.5}) +
                           JournalLine("SendCameraTransformFov", {kBlock, 82.5});
const std::string kScene = Material("Oak", "#AA0000") + Material("Glass", "#FFFFFF", 0.5f) + kLight +
                           Node("Solid_1", 0) + Node("Solid_2", 2, "Glass") + kViews;

// Each line of `lines` given "step" `step`, the way a replay writes it.
std::string Step(const std::string& lines, int step) {
  std::string stepped;
  for (const std::string& line : q9::test::TextLines(lines)) {
    stepped += line.substr(0, line.size() - 1) + ",\"step\":" + std::to_string(step) + "}\n";
  }
  return stepped;
}

struct Side {
  Side(std::string text, std::optional<uint64_t> step = std::nullopt) : journal(std::move(text)), lastStep(step) {}
  std::string journal;
  std::optional<uint64_t> lastStep;
};

std::vector<std::string> DifferenceTexts(const Side& before, const Side& after) {
  q9::test::TempFolder folder;
  std::optional<ReadScene> read[2];
  const Side* sides[2] = {&before, &after};
  for (int i = 0; i < 2; ++i) {
    const std::u16string file = folder.File(i ? u"b.jsonl" : u"a.jsonl");
    q9::test::WriteFileBytes(file, sides[i]->journal);
    ReadOptions options;
    options.printMeshes = true;
    options.lastStep = sides[i]->lastStep;
    ReadFailure failure;
    read[i] = ReadSceneFile(q9::platform::DisplayPath(file), options, failure);
    EXPECT_TRUE(read[i]) << failure.message;
    if (!read[i]) return {};
  }
  std::vector<std::string> texts;
  for (const Difference& difference : Differences(read[0]->scene, read[1]->scene)) {
    texts.push_back(DifferenceText(difference));
  }
  return texts;
}

TEST(SceneDiffTest, ComparesByNameWhateverTheOrderOfTheCalls) {
  const std::string kReplay = Step(kScene, 1) + Step(Node("Solid_1", 0, "Oak", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1}), 2) +
                              R"({"fn":"MaxDeleteNode","h":1,"step":2,"args":["Solid_2"]})" "\n"
                              R"({"fn":"Q9DeleteLight","h":1,"args":["Sun"],"step":3})" "\n";
  const std::string matrix = "[1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1] -> [1,0,0,0,0,1,0,0,0,0,1,0,5,0,0,1]";
  const struct {
    const char* what;
    Side before, after;
    std::vector<std::string> expected;
  } kCases[] = {
      {"the same calls", {kScene}, {kScene}, {}},
      {"materials, their properties and nodes sent in another order",
       {kScene},
       {JournalLine("Q9AddMaterial", {"Glass"}) + JournalLine("Q9SetMaterialFloatProperty", {"Glass", "Opacity", 0.5}) +
        JournalLine("Q9SetMaterialStringProperty", {"Glass", "Diffuse (Color)", "#FFFFFF"}) +
        JournalLine("Q9SetMaterialType", {"Glass", 1}) + Material("Oak", "#AA0000") + Node("Solid_2", 2, "Glass") +
        kViews + kLight + Node("Solid_1", 0)},
       {}},
      {"a node deleted and sent again the same, a material reset and sent again",
       {kScene},
       {kScene + JournalLine("MaxDeleteNode", {"Solid_1"}) + JournalLine("Q9ResetMaterial", {"Oak"}) +
        Material("Oak", "#AA0000") + Node("Solid_1", 0)},
       {}},
      {"materials added, removed and changed property by property",
       {kScene},
       {kScene + JournalLine("Q9ResetMaterial", {"Glass"}) + Material("Stone", "#777777") +
        JournalLine("Q9SetMaterialType", {"Oak", 3}) + JournalLine("Q9SetMaterialFloatProperty", {"Oak", "Opacity", 0.25}) +
        JournalLine("Q9SetMaterialStringProperty", {"Oak", "Diffuse Map", "C:\\T\\oak.png"})},
       {"material \"Oak\" changed: type 1 -> 3; property \"Opacity\" 1 -> 0.25; property \"Diffuse Map\" none -> "
        "\"C:\\\\T\\\\oak.png\"",
        "material \"Glass\" removed", "material \"Stone\" added"}},
      {"nodes added, removed, and changed in matrix, meshes and positions",
       {kScene + Node("Solid_3", 0)},
       {kScene + JournalLine("MaxDeleteNode", {"Solid_3"}) + Node("Solid_1", 0, "Oak", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1}) +
        Node("Solid_2", 3, "Oak") + Node("Solid_4", 0)},
       {"node \"Solid_1\" changed: matrix " + matrix,
        "node \"Solid_2\" changed: meshes [\"Glass\"] -> [\"Oak\"]; bounds [0,0,0,2,1,0] -> [0,0,0,3,1,0]; positions changed",
        "node \"Solid_3\" removed", "node \"Solid_4\" added"}},
      {"lights, scenes and the camera",
       {kScene},
       {kScene + JournalLine("Q9SetEntityFloatProperty", {1, "Sun", "brightness", 3}) + JournalLine("Q9AddLight", {"Lamp"}) +
        JournalLine("AddScene", {"S1", "Back", kBlock, 82.5}) + JournalLine("SendCameraTransformFov", {kBlock, 60})},
       {"light \"Sun\" changed: property \"brightness\" 2 -> 3", "light \"Lamp\" added",
        "scene \"S1\" changed: displayName \"Front\" -> \"Back\"", "camera changed: fov 82.5 -> 60"}},
      {"corners in another order, a second mesh, a scene removed",
       {kScene},
       {kScene + NodeOf("Solid_1", Mesh("Oak", {1, 0, 0, 0, 1, 0, 0, 0, 0})) +
        NodeOf("Solid_2", Mesh("Glass", {2, 0, 0, 1, 0, 0, 0, 1, 0}) + Mesh("Glass", {2, 0, 0, 1, 0, 0, 0, 1, 0})) +
        JournalLine("Q9DeleteScene", {"S1"})},
       {"node \"Solid_1\" changed: positions changed",
        "node \"Solid_2\" changed: triangles 1 -> 2; meshes [\"Glass\"] -> [\"Glass\",\"Glass\"]; meshTriangles [1] -> "
        "[1,1]; positions changed",
        "scene \"S1\" removed"}},
      // A replay's journal cut after a step: step 2 moves a node and removes one, step 3 removes
      // the light; the step in each place a line may have it.
      {"a replay's journal cut after a step", {kReplay, 1}, {kReplay, 2},
       {"node \"Solid_1\" changed: matrix " + matrix, "node \"Solid_2\" removed"}},
  };
  for (const auto& c : kCases) {
    std::vector<std::string> texts = DifferenceTexts(c.before, c.after);
    // A hash is no value to write down: only that it changed (positions come last).
    for (std::string& text : texts) {
      const size_t at = text.find("positions \"");
      if (at != std::string::npos) text = text.substr(0, at) + "positions changed";
    }
    EXPECT_THAT(texts, ElementsAreArray(c.expected)) << c.what;
  }
}

class DiffCommandTest : public ::testing::Test {
 protected:
  std::string Write(std::u16string_view name, const std::string& text) {
    q9::test::WriteFileBytes(folder.File(name), text);
    return q9::platform::DisplayPath(folder.File(name));
  }
  q9::test::TempFolder folder;
};

TEST_F(DiffCommandTest, ExitStatusesListingAndDocument) {
  std::string more;
  for (int i = 0; i < 12; ++i) more += Node("Extra_" + std::to_string(i), 0);
  const std::string a = Write(u"a.jsonl", kScene);
  const std::string b = Write(u"b.jsonl", kScene + more + JournalLine("Q9SetMaterialFloatProperty", {"Oak", "Opacity", "nan"}));

  const Result same = Q9x({"diff", a, a});
  EXPECT_EQ(same.status, kOk) << same.err;
  EXPECT_THAT(same.out, HasSubstr("the scenes are the same"));

  // The first 10 of a kind, then how many more; --all every one.
  const Result differ = Q9x({"diff", a, b});
  EXPECT_EQ(differ.status, kScenesDiffer) << differ.err;
  EXPECT_THAT(differ.out, HasSubstr("the scenes differ: materials 1 changed; nodes 12 added\n"));
  EXPECT_THAT(differ.out, HasSubstr("  material \"Oak\" changed: property \"Opacity\" 1 -> nan\n"));
  EXPECT_THAT(differ.out, HasSubstr("  node \"Extra_9\" added\n  ... 2 more nodes added (--all lists every one)\n"));
  EXPECT_THAT(Q9x({"diff", a, b, "--all"}).out, HasSubstr("  node \"Extra_11\" added\n"));

  // A replay's texture paths lie in its own copy of the exchange folder: mapped, they are the same.
  const auto withMap = [&](std::u16string_view name, const std::string& folderText) {
    return Write(name, kScene + JournalLine("Q9SetMaterialStringProperty",
                                            {"Oak", "Diffuse Map", folderText + "\\Textures\\oak.png"}));
  };
  const std::string customer = withMap(u"customer.jsonl", "C:\\Users\\ann\\Data");
  const std::string replayed = withMap(u"replay.jsonl", "D:\\replay\\folder\\");
  EXPECT_EQ(Q9x({"diff", customer, replayed}).status, kScenesDiffer);
  EXPECT_EQ(Q9x({"diff", customer, replayed, "--map-path", "D:\\replay\\folder\\=C:\\Users\\ann\\Data"}).status, kOk);

  const Result document = Q9x({"diff", a, b, "--json"});
  EXPECT_EQ(document.status, kScenesDiffer);
  const json parsed = json::parse(document.out);
  EXPECT_EQ(parsed["same"], false);
  EXPECT_EQ(parsed["listedAll"], false);
  EXPECT_EQ(parsed["counts"]["node"], (json{{"added", 12}, {"changed", 0}, {"removed", 0}}));
  EXPECT_EQ(parsed["differences"].size(), 11u);
  EXPECT_EQ(parsed["differences"][0], (json{{"subject", "material"}, {"kind", "changed"}, {"name", "Oak"},
                                            {"fields", {{{"field", "property"}, {"property", "Opacity"},
                                                         {"before", 1.0}, {"after", nullptr}}}}}));
  EXPECT_EQ(parsed["before"], (json{{"kind", "journal"}, {"source", a}, {"step", nullptr}}));

  // A raw archive holds no positions: against its own journal it is the same scene.
  std::string error;
  const std::optional<ReadScene> read = ParseSceneText(kScene, error);
  ASSERT_TRUE(read) << error;
  {
    q9::platform::UniqueFile file = q9::platform::OpenFile(folder.File(u"a.q9a"), "wb");
    ASSERT_TRUE(WriteArchive(read->scene, file.get()));
  }
  const Result archive = Q9x({"diff", a, q9::platform::DisplayPath(folder.File(u"a.q9a")), "--json"});
  EXPECT_EQ(archive.status, kOk) << archive.out;
  EXPECT_EQ(json::parse(archive.out)["positionsCompared"], false);

  // A replay's folder, and a step of it; a journal without steps cut at a step is unreadable,
  // as is a missing side.
  q9::test::MakeFolder(folder.File(u"replay"));
  Write(u"replay\\journal.jsonl", Step(kScene, 1) + Step(JournalLine("Q9DeleteLight", {"Sun"}), 2));
  const std::string replay = q9::platform::DisplayPath(folder.File(u"replay"));
  EXPECT_EQ(Q9x({"diff", a, replay + "@1"}).status, kOk);
  EXPECT_THAT(Q9x({"diff", replay + "@1", replay}).out, HasSubstr("  light \"Sun\" removed\n"));
  q9::test::MakeFolder(folder.File(u"plain"));
  Write(u"plain\\journal.jsonl", kScene);
  const Result unstepped = Q9x({"diff", a, q9::platform::DisplayPath(folder.File(u"plain")) + "@1"});
  EXPECT_EQ(unstepped.status, kFailed);
  EXPECT_THAT(unstepped.err, HasSubstr("line 1 (byte 0) has no \"step\": not the journal of a replay"));
  const Result missing = Q9x({"diff", a, a + ".missing"});
  EXPECT_EQ(missing.status, kFailed);
  EXPECT_THAT(missing.err, HasSubstr("cannot read " + a + ".missing"));
}

}  // namespace
}  // namespace q9x
