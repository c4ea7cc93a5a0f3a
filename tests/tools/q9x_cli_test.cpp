// q9x's command line, exit statuses and messages: what a script and a person see when a command
// line, a container or a description is wrong.
#include <gmock/gmock.h>

#include <regex>

#include <nlohmann/json.hpp>

#include "base/platform.h"
#include "base/version.h"
#include "q9x_call.h"
#include "test_files.h"

namespace q9x {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

class CliTest : public ::testing::Test {
 protected:
  std::string Path(std::u16string_view name) { return q9::platform::DisplayPath(folder.File(name)); }
  void WriteText(std::u16string_view name, const std::string& text) {
    q9::test::WriteFileBytes(folder.File(name), text);
  }
  // Packs the description text into "out.sm"; the error's text after the file's name.
  Result PackText(const std::string& text) {
    WriteText(u"d.json", text);
    return Q9x({"pack", Path(u"d.json"), Path(u"out.sm")});
  }
  Result Pack(const json& description) { return PackText(description.dump(2)); }

  q9::test::TempFolder folder;
};

// The version, and the commit when the build knew it.
TEST_F(CliTest, VersionIsTheSystemsVersionAndTheBuildsCommit) {
  const Result version = Q9x({"--version"});
  EXPECT_EQ(version.status, kOk);
  EXPECT_EQ(version.out, q9::VersionText("q9x") + "\n");
  EXPECT_TRUE(std::regex_match(version.out, std::regex(std::string("q9x ") + q9::kVersion +
      "( \\(commit [0-9a-f]{12}( with local changes)?\\))?\n"))) << version.out;
}

TEST_F(CliTest, AWrongCommandLineIsOneLineAndAPointerToTheHelp) {
  const std::vector<std::vector<std::string>> wrong = {
      {}, {"explode"}, {"Inspect", "x"}, {"inspect"}, {"inspect", "a", "b"},
      {"inspect", "--jsn", "a"}, {"pack", "a"}, {"pack", "a", "b", "--set", "novalue"},
      {"run", "--folder"}, {"run", "--unknown"}, {"summary"}, {"doctor", "--bogus"},
      {"help", "nothing"}, {"--bogus"}};
  for (const std::vector<std::string>& args : wrong) {
    const std::string shown = args.empty() ? "(none)" : args[0] + (args.size() > 1 ? " " + args[1] : "");
    const Result result = Q9x(args);
    EXPECT_EQ(result.status, kUsage) << shown;
    const std::vector<std::string> lines = q9::test::TextLines(result.err);
    ASSERT_EQ(lines.size(), 2u) << shown << ": " << result.err;
    EXPECT_THAT(lines[0], StartsWith("q9x")) << shown;
    EXPECT_THAT(lines[1], HasSubstr("q9x help")) << shown;
    EXPECT_EQ(result.out, "") << shown;
  }
  EXPECT_THAT(Q9x({"inspect", "--jsn", "a"}).err, HasSubstr("--jsn"));
  EXPECT_THAT(Q9x({"inspect", "--jsn", "a"}).err, HasSubstr("q9x help inspect"));
}

TEST_F(CliTest, InspectTellsDamageByItsStatusAndAsObjects) {
  ASSERT_EQ(Pack({{"entries", json::array({{{"name", "p"}, {"geometry", {{"solids", json::array()}}}}})}}).status, 0);
  EXPECT_EQ(Q9x({"inspect", Path(u"out.sm")}).status, kOk);

  ASSERT_EQ(Pack({{"entries", json::array({{{"name", "p"}, {"geometry", {{"solidCount", 1000}, {"solids", json::array()}}}}})}}).status, 0);
  const Result damaged = Q9x({"inspect", Path(u"out.sm"), "--json"});
  EXPECT_EQ(damaged.status, kDamaged);
  const json inspection = json::parse(damaged.out);
  EXPECT_TRUE(inspection["damaged"].get<bool>());
  const json& damage = inspection["entries"][0]["section"]["damage"][0];
  EXPECT_EQ(damage["kind"], "countCut");
  EXPECT_EQ(damage["offset"], 208644 + 24) << "behind the count, where the items would start";
  EXPECT_TRUE(damage["what"].is_string());
  EXPECT_TRUE(damage["message"].is_string());
  EXPECT_EQ(Q9x({"inspect", Path(u"out.sm")}).status, kDamaged) << "text as well";

  WriteText(u"empty.sm", "");
  EXPECT_EQ(Q9x({"inspect", Path(u"empty.sm")}).status, kOk) << "the system gives it a header";
}

TEST_F(CliTest, InspectOfAFolderIsAnErrorNotAHugeFile) {
  const Result result = Q9x({"inspect", q9::platform::DisplayPath(folder.File(u""))});
  EXPECT_EQ(result.status, kFailed);
  EXPECT_THAT(result.err, HasSubstr("folder"));
  EXPECT_EQ(result.out, "");
}

TEST_F(CliTest, PackChecksTheDescriptionBeforeItWrites) {
  const auto entry = [](json fields) {
    fields["name"] = "p";
    return json{{"entries", json::array({fields})}};
  };
  const std::vector<std::pair<json, std::string>> cases = {
      {entry({{"offset", -100}, {"hex", "00"}}), "entries[0].offset: -100 is below 0"},
      {entry({{"offset", 4294967296}}), "entries[0].offset: 4294967296 is above 2147483647"},
      {{{"truncate", -1}}, "truncate: -1 is below 0"},
      {entry({{"ofset", 5}}), "entries[0].ofset: unknown key; did you mean \"offset\"?"},
      {{{"header", {{"nmae", "x"}}}}, "header.nmae: unknown key; did you mean \"name\"?"},
      {{{"zzzzzz", 1}}, "zzzzzz: unknown key"},
      {entry({{"geometry", {{"solids", json::array({{{"id", "seven"}}})}}}}),
       "entries[0].geometry.solids[0].id: expected an integer, found a string"},
      {entry({{"geometry", {{"solids", json::array({{{"meshes", json::array({{{"padding", -1}}})}}})}}}}),
       "entries[0].geometry.solids[0].meshes[0].padding: -1 is below 0"},
      {{{"patches", json::array({{{"at", 1.5}, {"int32", 1}}})}}, "patches[0].at: expected an integer, found a fraction"},
      {{{"patches", json::array({{{"int32", 1}}})}}, "patches[0]: a patch needs \"at\""},
      {entry({{"hex", "0g"}}), "entries[0].hex: expected pairs of hex digits"},
      {entry({{"type", "geometri"}}), "entries[0].type: \"geometri\" is not geometry, changeList or a number"},
      {{{"entries", json::object()}}, "entries: expected a list, found an object"},
  };
  for (const auto& [description, message] : cases) {
    const Result result = Pack(description);
    EXPECT_EQ(result.status, kFailed) << message;
    EXPECT_THAT(result.err, HasSubstr(": " + message + "\n")) << result.err;
    EXPECT_FALSE(q9::test::FileExists(folder.File(u"out.sm"))) << message;
  }
  // Values written as given may be any 32-bit value: damaged files stay describable.
  EXPECT_EQ(Pack(entry({{"offsetValue", -1}, {"geometry", {{"materialCount", 0xFFFFFFFFu}}}})).status, kOk);
  EXPECT_EQ(Pack(entry({{"offsetValue", 0x100000000}})).status, kFailed);
}

TEST_F(CliTest, PackSyntaxErrorsGiveLineAndColumn) {
  const Result result = PackText("{\n  \"entries\": [\n    { \"name\": \"p\" },\n    oops\n  ]\n}\n");
  EXPECT_EQ(result.status, kFailed);
  EXPECT_THAT(result.err, HasSubstr("d.json: line 4, column 5: "));
  EXPECT_THAT(result.err, Not(HasSubstr("json.exception")));
}

}  // namespace
}  // namespace q9x
