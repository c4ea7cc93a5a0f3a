// `q9x run`: a working instance's work without a window, end to end through the reference link
// library's journal; the sample exchange folder; the program as a process.
#include "runner/working_instance.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "base/platform.h"
#include "sync/requests.h"
#include "base/text.h"
#include "pack/pack_description.h"
#include "received/scene_diff.h"
#include "received/scene_reader.h"
#include "inspection/inspection.h"
#include "q9x_call.h"
#include "reference_link.h"
#include "test_files.h"
#include "common/environment.h"

#ifdef _WIN32
#include "child_process_win32.h"
#else
#include <sys/wait.h>

#include "file_size_limit_posix.h"
#endif

namespace q9x {
namespace {

using nlohmann::json;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// The line that names the link library loaded: the reference library given to run.
::testing::Matcher<const std::string&> LoadedNote() {
  return ::testing::StartsWith("Note: link library loaded from \"");
}

json Solid(int id, int stamp) {
  return {{"id", id}, {"timeStamp", stamp},
          {"meshes", json::array({{{"name", "m"}, {"raw", {{"1", {1, 2, 3, 4, 5, 6, 7, 8, 9}}}}}})}};
}

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    q9::test::MakeFolder(exchange);
    Write(u"_model.pdx", {{"entries", json::array({{{"name", project},
        {"geometry", {{"solids", json::array({Solid(1, 10), Solid(3, 30)})}}}}})}});
    Write(u"_mod.sm", {{"entries", json::array({
        {{"name", project}, {"changeList", {{"items", json::array({{{"kind", "Solid"}, {"ids", {3}}}})}}}},
        {{"name", project}, {"geometry", {{"solids", json::array({Solid(3, 31)})}}}}})}});
  }
  void Write(std::u16string_view name, const json& description) {
    const PackResult packed = PackContainer(description, "");
    ASSERT_TRUE(packed.ok) << packed.error;
    q9::test::WriteFileBytes(exchange + u"\\" + std::u16string(name), packed.bytes);
  }
  Result Run(std::vector<std::string> words) {
    std::vector<std::string> args{"run", "--folder", q9::platform::DisplayPath(exchange), "--link",
                                  q9::Utf8FromUtf16(q9::test::ReferenceLink::LibraryPath())};
    args.insert(args.end(), words.begin(), words.end());
    return Q9x(args);
  }
  std::string Read(std::u16string_view name) {
    return q9::test::ReadFileBytes(exchange + u"\\" + std::u16string(name));
  }
  // The messages of the log, which lies beside the folder ("Data" + "Q9_Log.log").
  std::vector<std::string> LogMessages() {
    return q9::test::LogMessages(exchange + u"Q9_Log.log");
  }

  q9::test::ReferenceLink link;
  std::u16string exchange = link.folder().File(u"Data");
  std::string project = q9::platform::DisplayPath(link.folder().File(u"Villa.pln"));
};

TEST_F(RunTest, ModelSyncLoadsTheModelWritesTheRecordAndNotifiesTheHost) {
  const Result result = Run({"ModelSync"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "host notified: 1137 0 10\n");
  EXPECT_THAT(q9::test::TextLines(Read(u"_mod.sync")),
              ElementsAre("SourceProject: [" + project + "]", "ID3D: [1] TimeStamp: [10]",
                          "ID3D: [3] TimeStamp: [30]"));
  EXPECT_THAT(LogMessages(), ElementsAre("Args - ", "ModelSync", "Init Start", LoadedNote(), "Sync Model state 0"));
  const std::vector<std::string> names = link.Names();
  EXPECT_EQ(names.front(), "SetQ9RenderPath");
  EXPECT_THAT(link.Texts(), Contains(R"(MaxBeginNode ["Solid_3",[1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1],true])"));
  EXPECT_THAT(names, ElementsAre(testing::_, testing::_, testing::_, testing::_, testing::_,
                                 testing::_, testing::_, "MaxBeginNode", "MaxAddTriangles",
                                 "Q9EndNode", "MaxBeginNode", "MaxAddTriangles", "Q9EndNode",
                                 "Connect", "HasConnected", "SendModel", "Q9SaveRawToQ9a",
                                 "DisConnect", "DisConnect", "DestroySession"));
  // The raw archive lies beside the project file.
  EXPECT_TRUE(q9::test::FileExists(link.folder().File(u"Villa.q9a")));
}

TEST_F(RunTest, LightSyncAppliesTheUpdateWithoutLogLines) {
  const Result result = Run({"lightSync", "ModelSync"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(link.Texts(), Contains(R"(Q9DeleteNode ["Solid_3"])"));
  EXPECT_THAT(q9::test::TextLines(Read(u"_mod.sync")), Contains("ID3D: [3] TimeStamp: [31]"));
  EXPECT_THAT(LogMessages(), ElementsAre("Args - ", "lightSync", "Init Start", LoadedNote(), "Sync Model state 0"));
}

TEST_F(RunTest, FurtherWordsArePostedAsAForwardingInstanceWouldPostThem) {
  const Result result = Run({"colorMode", "1027", "colorMode", "1026", "ModelSync"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "host notified: 1137 0 10\nhost notified: 1137 0 10\n");
  EXPECT_THAT(LogMessages(), ElementsAre("Args - ", "colorMode", "Init Start", LoadedNote(),
                                         "Sync Model state 1 _ Start",
                                         "Sync Model state 1 _ End", "Sync Model state 0",
                                         "Sync Model state 0"));
}

TEST_F(RunTest, UnknownAndWrongCaseWordsAreRefusedBeforeAnythingRuns) {
  for (const char* word : {"bogus", "modelsync", "1030", "1024", "--bogus"}) {
    const Result result = Run({"ModelSync", word});
    EXPECT_EQ(result.status, kUsage) << word;
    EXPECT_THAT(result.err, HasSubstr(word));
  }
  EXPECT_FALSE(q9::test::FileExists(exchange + u"Q9_Log.log")) << "nothing ran";
}

TEST_F(RunTest, ARecordThatCannotBeWrittenEndsWithStatusOne) {
  q9::test::MakeFolder(exchange + u"\\_mod.sync");  // a folder where the record belongs
  const Result result = Run({"ModelSync"});
  EXPECT_EQ(result.status, kFailed);
  EXPECT_THAT(result.err, HasSubstr("_mod.sync"));
  EXPECT_EQ(Run({"lightSync"}).status, 0) << "no record written, none missed";
}

// Needs the reference library's Q9PLUGIN_ARCHIVE_DIR switch.
TEST_F(RunTest, ArchiveDirTakesTheRawArchiveInsteadOfTheProjectFolder) {
  const std::u16string archives = link.folder().File(u"archives");
  q9::test::MakeFolder(archives);
  const Result result = Run({"--archive-dir", q9::platform::DisplayPath(archives), "ModelSync"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(q9::test::FileExists(archives + u"\\Villa.q9a"));
  EXPECT_FALSE(q9::test::FileExists(link.folder().File(u"Villa.q9a")));
  EXPECT_FALSE(q9x::ProcessVariable("Q9PLUGIN_ARCHIVE_DIR").has_value()) << "restored after the run";
}

TEST_F(RunTest, NoWordIsTheStartUpLoadAlone) {
  const Result result = Run({});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_THAT(LogMessages(), ElementsAre("Init Start", LoadedNote()));
  EXPECT_THAT(link.Names(), Contains("SendModel"));
}

TEST_F(RunTest, MissingRendererEndsWithStatusThreeAndTheMessageOnStandardError) {
  q9::test::ReferenceLink::SetVariable("Q9PLUGIN_NO_SESSION", u"1");
  const Result result = Run({"ModelSync"});
  EXPECT_EQ(result.status, kRendererMissing);
  EXPECT_EQ(result.out, "");
  EXPECT_THAT(result.err, HasSubstr("Error: missing Q9 Render application!\nMissing the Q9 render."));
  EXPECT_THAT(link.Names(), Not(Contains("MaxBeginNode")));
  EXPECT_FALSE(q9::test::FileExists(exchange + u"\\_mod.sync"));

  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(Main({"run", "--folder", q9::platform::DisplayPath(exchange), "--link", "no-such-library",
                  "cameraSync"}, out, err),
            kRendererMissing);
}

// A recording as `q9x run` makes it (it shares the working instance's drivers): each step's
// files kept as read, the same unchanged model linked, not copied, into the next session, the
// limit kept by dropping whole older sessions, a file beyond the limit and a full disk listed
// without their bytes, and every request handled as without a recording.
TEST_F(RunTest, RecordingKeepsEachRequestsFilesWithinItsLimit) {
  const std::string recording = q9::platform::DisplayPath(link.folder().File(u"recording"));
  const std::string folder = q9::platform::DisplayPath(exchange);
  const std::string model = Read(u"_model.pdx");
  const auto record = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "record");
    args.insert(args.end(), {"--folder", folder});
    return Q9x(args);
  };
  const auto sessions = [&] { return q9::test::FolderEntryNames(q9::Utf16FromUtf8(recording)); };
  const auto steps = [&](const std::string& session) {
    std::vector<json> lines;
    for (const std::string& line : q9::test::TextLines(q9::test::ReadFileBytes(
             q9::Utf16FromUtf8(recording + "/" + session + "/requests.jsonl")))) {
      lines.push_back(json::parse(line));
    }
    return lines;
  };
  // Room for the first two sessions (two containers, then one) and not for a third.
  const std::string limit = std::to_string(3 * model.size() + model.size() / 2);
  ASSERT_EQ(record({"start", "--to", recording, "--max-size", limit}).status, kOk);

  ASSERT_EQ(Run({"ModelSync", "1027", "cameraSync"}).status, 0);
  ASSERT_EQ(sessions().size(), 1u);
  const std::vector<json> first = steps(sessions()[0]);
  ASSERT_EQ(first.size(), 4u);
  EXPECT_EQ(first[0]["folder"], "0001-startup");
  EXPECT_EQ(first[0]["word"], "ModelSync");
  EXPECT_EQ(first[1]["folder"], "0002-1026");
  EXPECT_EQ(first[2]["folder"], "0003-1027");
  EXPECT_EQ(first[3]["outcome"], "failed") << "no camera.cam";
  EXPECT_EQ(first[3]["files"][0]["size"], -1);
  const std::string sessionFolder = recording + "/" + sessions()[0];
  EXPECT_EQ(q9::test::ReadFileBytes(q9::Utf16FromUtf8(sessionFolder + "/0001-startup/_model.pdx")), model);
  EXPECT_EQ(q9::test::ReadFileBytes(q9::Utf16FromUtf8(sessionFolder + "/0003-1027/_mod.sm")), Read(u"_mod.sm"));
  EXPECT_EQ(first[1]["files"][0]["sha256"].get<std::string>().size(), 64u);
  const std::regex timed("Note: start-up load done in [0-9 ]+ ms: files [0-9 ]+ ms, link library [0-9 ]+ ms, "
                         "2 solids sent");
  EXPECT_THAT(q9::test::LogMessages(exchange + u"Q9_Log.log", true),
              Contains(testing::Truly([&](const std::string& line) { return std::regex_match(line, timed); })));

  // The next start on the same model: linked to the first session's copy, not copied again.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a session's name has seconds
  ASSERT_EQ(Run({"ModelSync"}).status, 0);
  ASSERT_EQ(sessions().size(), 2u);
#ifndef _WIN32
  // (The Windows runtime counts every file's names as one.)
  EXPECT_EQ(std::filesystem::hard_link_count(sessionFolder + "/0001-startup/_model.pdx"), 2u);
#endif
  // A third start passes the limit: the oldest session goes, whole.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  ASSERT_EQ(Run({"ModelSync"}).status, 0);
  EXPECT_EQ(sessions().size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(sessionFolder));

  const Result status = record({"status", "--json"});
  ASSERT_EQ(status.status, kOk) << status.err;
  EXPECT_EQ(json::parse(status.out)["sessions"].size(), 2u);
  const Result cleared = record({"clear"});
  EXPECT_THAT(cleared.out, HasSubstr("removed 2 sessions"));
  EXPECT_TRUE(sessions().empty());

  // A model larger than the limit is listed without its bytes; so is one the disk has no room
  // for. Neither costs the request anything.
  ASSERT_EQ(record({"start", "--to", recording, "--max-size", std::to_string(model.size() - 1)}).status, kOk);
  ASSERT_EQ(Run({"ModelSync"}).status, 0);
  json startup = steps(sessions()[0])[0];
  EXPECT_FALSE(startup["files"][0]["kept"].get<bool>());
  EXPECT_EQ(startup["files"][0]["size"], model.size());
  const std::string modelDigest = startup["files"][0]["sha256"];
  EXPECT_EQ(modelDigest.size(), 64u);
  EXPECT_THAT(LogMessages(), Contains(HasSubstr("Warning: recording: \"_model.pdx\" (")));
#ifndef _WIN32
  record({"clear"});
  ASSERT_EQ(record({"start", "--to", recording}).status, kOk);
  const std::string report = q9::test::InChildWithFileSizeLimit(model.size() / 2, [&](std::string& out) {
    out = std::to_string(Run({"ModelSync"}).status);
  });
  EXPECT_EQ(report, "0");
  startup = steps(sessions()[0])[0];
  EXPECT_FALSE(startup["files"][0]["kept"].get<bool>());
  // The copy stopped half way; the line still gives the whole file's size and digest.
  EXPECT_EQ(startup["files"][0]["size"], model.size());
  EXPECT_EQ(startup["files"][0]["sha256"], modelDigest);
  EXPECT_EQ(startup["outcome"], "done");
  EXPECT_THAT(LogMessages(), Contains(HasSubstr("was not recorded")));
  EXPECT_THAT(q9::test::TextLines(Read(u"_mod.sync")), Contains("ID3D: [3] TimeStamp: [30]"));
#endif

  // Stopped: nothing more is recorded.
  record({"clear"});
  ASSERT_EQ(record({"stop"}).status, kOk);
  ASSERT_EQ(Run({"ModelSync"}).status, 0);
  EXPECT_TRUE(sessions().empty());
}

// A recorded session replayed after the host has overwritten every exchange file: each step gets
// the bytes the customer's program read, so the replay's scene is the live session's (diffed by
// name), a session one request shorter differs by that request's effect, and each step's line in
// steps.json has both sides' outcomes and durations and its own changes. An older session by
// --session; a tampered line never makes a path outside the step's folder; without a recording,
// the log's last session is replayed against the files as they are, and says it is approximate.
TEST_F(RunTest, ReplayOfARecordingReproducesTheLiveSessionAfterTheFilesAreOverwritten) {
  const std::string folder = q9::platform::DisplayPath(exchange);
  const std::string recording = folder + "/recording";
  const std::string lib = q9::Utf8FromUtf16(q9::test::ReferenceLink::LibraryPath());
  const auto file = [&](const char* name) { return q9::platform::DisplayPath(link.folder().File(q9::Utf16FromUtf8(name))); };
  // What the live run sent, kept under `name` before the next run empties the journal.
  const auto keepJournal = [&](const char* name) {
    q9::test::WriteFileBytes(q9::Utf16FromUtf8(file(name)), q9::test::ReadFileBytes(link.journalPath()));
    link.ClearJournal();
  };
  const auto scene = [](const std::string& path, std::optional<uint64_t> step = std::nullopt) {
    ReadOptions options;
    options.printMeshes = true;
    options.lastStep = step;
    ReadFailure failure;
    std::optional<ReadScene> read = ReadSceneFile(path, options, failure);
    EXPECT_TRUE(read) << path << ": " << failure.message;
    return read ? std::move(read->scene) : ReceivedScene();
  };
  // The older session keeps no container (each is beyond that recording's limit), only digests.
  const std::string model = Read(u"_model.pdx");
  const std::string update = Read(u"_mod.sm");
  ASSERT_EQ(Q9x({"record", "start", "--to", recording, "--folder", folder, "--max-size",
                 std::to_string(model.size() - 1)}).status, kOk);
  ASSERT_EQ(Run({"ModelSync", "1027"}).status, 0);
  keepJournal("older.jsonl");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a session's name has seconds
  ASSERT_EQ(Q9x({"record", "start", "--to", recording, "--folder", folder}).status, kOk);
  Write(u"_mod.sm", {{"entries", json::array({
      {{"name", project}, {"changeList", {{"items", json::array({{{"kind", "Solid"}, {"ids", {5}}}})}}}},
      {{"name", project}, {"geometry", {{"solids", json::array({Solid(5, 50)})}}}}})}});
  q9::test::WriteFileBytes(exchange + u"\\camera.cam",
                           "Camera_Start\nCamera__fov [55]\nCamera__from [4 -3 1]\nCamera__to [2 2 1]\nCamera__up [0 0 1]\nCamera_End\n");
  ASSERT_EQ(Run({"ModelSync", "1027", "cameraSync"}).status, 0);
  keepJournal("live.jsonl");
  ASSERT_EQ(Q9x({"record", "stop", "--folder", folder}).status, kOk);
  ASSERT_EQ(Run({"ModelSync", "1027"}).status, 0);
  keepJournal("shorter.jsonl");

  // The host's next export overwrites everything the session read.
  Write(u"_model.pdx", {{"entries", json::array({{{"name", project}, {"geometry", {{"solids", json::array({Solid(7, 70)})}}}}})}});
  Write(u"_mod.sm", {{"entries", json::array({
      {{"name", project}, {"changeList", {{"items", json::array({{{"kind", "Solid"}, {"ids", {8}}}})}}}},
      {{"name", project}, {"geometry", {{"solids", json::array({Solid(8, 80)})}}}}})}});
  q9::test::WriteFileBytes(exchange + u"\\camera.cam", "Camera_Start\nCamera__fov [20]\nCamera_End\n");

  // An unpacked bundle without a recording, for the log's replay below.
  const std::string bundle = file("bundle");
  std::filesystem::create_directories(bundle);
  for (const char* name : {"_model.pdx", "_mod.sm"}) std::filesystem::copy_file(folder + "/" + name, bundle + "/" + name);
  std::filesystem::copy_file(q9::platform::DisplayPath(exchange + u"Q9_Log.log"), bundle + "/Q9_Log.log");

  const std::string out = file("replay");
  const Result replayed = Q9x({"replay", folder, "-o", out, "--link", lib});
  ASSERT_EQ(replayed.status, kOk) << replayed.out << replayed.err;
  EXPECT_THAT(replayed.out, HasSubstr("step 4 camera sync (1025): done"));
  EXPECT_EQ(replayed.err, "");
  EXPECT_EQ(CountDifferences(scene(file("live.jsonl")), scene(out + "/journal.jsonl")).Total(), 0u);
  std::vector<Difference> missing = Differences(scene(file("shorter.jsonl")), scene(out + "/journal.jsonl"));
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(missing[0].subject, DiffSubject::Camera) << "the camera sync the shorter session lacks";
  EXPECT_EQ(CountDifferences(scene(file("shorter.jsonl")), scene(out + "/journal.jsonl", 3)).Total(), 0u);

  const json steps = json::parse(q9::test::ReadFileBytes(q9::Utf16FromUtf8(out + "/steps.json")));
  EXPECT_FALSE(steps["approximate"].get<bool>());
  ASSERT_EQ(steps["steps"].size(), 4u);
  const std::vector<std::string> requests{"start-up load", "model sync", "model update", "camera sync"};
  for (size_t i = 0; i < 4; ++i) {
    const json& step = steps["steps"][i];
    EXPECT_EQ(step["step"], i + 1);
    EXPECT_EQ(step["request"], requests[i]);
    EXPECT_EQ(step["customer"]["outcome"], "done");
    EXPECT_EQ(step["replay"]["outcome"], "done");
    EXPECT_TRUE(step["customer"]["totalMs"].is_number() && step["replay"]["linkMs"].is_number()) << step.dump();
    EXPECT_TRUE(std::regex_match(step["time"].get<std::string>(), std::regex("20[0-9-]+T[0-9:.]+Z"))) << step.dump();
  }
  EXPECT_EQ(steps["steps"][0]["changes"]["counts"]["node"]["added"], 2);
  EXPECT_TRUE(steps["steps"][1]["changes"]["same"].get<bool>());
  EXPECT_TRUE(steps["steps"][1]["syncRecordSame"].get<bool>());
  ASSERT_FALSE(steps["steps"][2]["changes"]["same"].get<bool>()) << steps["steps"][2].dump();
  EXPECT_EQ(steps["steps"][2]["changes"]["differences"][0]["name"], "Solid_5");
  EXPECT_EQ(steps["steps"][2]["files"], json::array({{{"name", "_mod.sm"}, {"bytes", "kept"}}}));
  EXPECT_EQ(steps["steps"][3]["changes"]["counts"]["camera"]["changed"], 1);
  for (const char* written : {"summary.txt", "view.png", "scene.glb", "folder/Q9_Log.log", "Villa.q9a"}) {
    EXPECT_TRUE(std::filesystem::exists(out + "/" + written)) << written;
  }
  EXPECT_THAT(q9::test::ReadFileBytes(q9::Utf16FromUtf8(out + "/summary.txt")), HasSubstr("Solid_5"));
  EXPECT_EQ(q9::test::FolderEntryNames(q9::Utf16FromUtf8(recording)).size(), 2u) << "the replay records nothing";

  // The older session, edited by hand: its start-up load said to have failed, and a line that
  // names a file outside its folder.
  const std::string older = recording + "/" + q9::test::FolderEntryNames(q9::Utf16FromUtf8(recording))[0];
  std::string lines = q9::test::ReadFileBytes(q9::Utf16FromUtf8(older + "/requests.jsonl"));
  lines.replace(lines.find(R"("outcome":"done")"), 16, R"("outcome":"failed")");
  lines += R"({"step":9,"folder":"../..","message":1027,"files":[{"name":"../../_mod.sm","size":1,"kept":true}]})" "\n";
  q9::test::WriteFileBytes(q9::Utf16FromUtf8(older + "/requests.jsonl"), lines);
  // Its containers not kept: used as they are, named unless they have the recorded SHA-256.
  const Result overwritten = Q9x({"replay", folder, "-o", out, "--link", lib, "--session", "1"});
  EXPECT_THAT(overwritten.err, HasSubstr("step 1 (start-up load): the bytes of \"_model.pdx\" were not kept"));
  q9::test::WriteFileBytes(exchange + u"\\_model.pdx", model);
  q9::test::WriteFileBytes(exchange + u"\\_mod.sm", update);
  const Result first = Q9x({"replay", folder, "-o", out, "--link", lib, "--session", "1"});
  ASSERT_EQ(first.status, kReplayDiffers) << first.err;
  EXPECT_THAT(first.out, HasSubstr("step 1 differs: the customer's request was failed, the replay's done"));
  EXPECT_THAT(first.err, HasSubstr("\"../../_mod.sm\", which is none of the exchange files"));
  EXPECT_THAT(first.err, Not(HasSubstr("were not kept")));
  EXPECT_EQ(json::parse(q9::test::ReadFileBytes(q9::Utf16FromUtf8(out + "/steps.json")))["steps"][0]["files"][0]["bytes"],
            "unchanged");
  EXPECT_EQ(CountDifferences(scene(file("older.jsonl")), scene(out + "/journal.jsonl", 3)).Total(), 0u);
  EXPECT_EQ(Q9x({"replay", folder, "-o", out, "--session", "3"}).status, kFailed);
  EXPECT_EQ(Q9x({"replay", folder, "-o", folder}).status, kFailed) << "a folder that is not a replay's";

  // No recording: the log's last working session (the shorter one) against today's files.
  const Result approximate = Q9x({"replay", bundle, "--link", lib});
  ASSERT_EQ(approximate.status, kOk) << approximate.err;
  EXPECT_THAT(approximate.out, testing::StartsWith("approximate replay of the log's last working session (3 steps)"));
  const json logged = json::parse(q9::test::ReadFileBytes(q9::Utf16FromUtf8(bundle + "-replay/steps.json")));
  EXPECT_TRUE(logged["approximate"].get<bool>());
  ASSERT_EQ(logged["steps"].size(), 3u);
  EXPECT_EQ(logged["steps"][2]["message"], 1027);
  EXPECT_TRUE(logged["steps"][2]["customer"]["totalMs"].is_number());
  EXPECT_NE(scene(bundle + "-replay/journal.jsonl").nodes.Find("Solid_8"), nullptr) << "today's _mod.sm";
}

TEST(RunWords, MapAsTheForwardingInstanceMapsThem) {
  const q9::test::TempFolder startsLog;
  for (const q9::CommandWord& entry : q9::kCommandWords) {
    const std::string word(entry.word);
    q9::ProcessState started;
    started.exchangeFolder.Fix(startsLog.path() + u"\\");
    q9::ApplyCommandLine(started, {q9::Utf16FromUtf8(word)});
    EXPECT_EQ(WordMessage(word), q9::RequestMessage(started.requestCode)) << word;
  }
  EXPECT_EQ(WordMessage("1027"), 1027u);
  EXPECT_EQ(WordMessage("1025"), 1025u);
  for (const char* word : {"colorMode", "modelSync", "1024", "1030", "01026", " 1026", ""}) {
    EXPECT_EQ(WordMessage(word), std::nullopt) << word;
  }
}

// --- the sample exchange folder ---

class SampleTest : public ::testing::Test {
 protected:
  static std::string Sample(const char* name) { return std::string(Q9_SAMPLES_DIR) + "/" + name; }
};

TEST_F(SampleTest, ContainersInspectWithoutDamage) {
  const Outcome<json> inspected = InspectContainer(Sample("_model.pdx"));
  ASSERT_TRUE(inspected) << "the build packs the samples";
  const json& model = *inspected;
  const json& section = model["entries"][0]["section"];
  EXPECT_EQ(section["materials"].size(), 5u);
  EXPECT_EQ(section["lights"].size(), 3u);
  EXPECT_EQ(section["solids"].size(), 5u);
  EXPECT_TRUE(section.contains("views"));
  EXPECT_THAT(section["damage"], IsEmpty());
  int64_t triangles = 0;
  for (const json& solid : section["solids"]) {
    for (const json& mesh : solid["meshes"]) triangles += mesh["triangles"].get<int64_t>();
  }
  EXPECT_EQ(triangles, 124);

  const json update = *InspectContainer(Sample("_mod.sm"));
  ASSERT_EQ(update["entries"].size(), 2u);
  EXPECT_EQ(update["entries"][0]["section"]["items"][0]["ids"], json({3}));
  EXPECT_EQ(update["entries"][1]["section"]["solids"][0]["solidId"], 3);
  EXPECT_EQ(update["entries"][0]["name"], model["entries"][0]["name"]) << "the same project";
}

TEST_F(SampleTest, RunsEndToEndOnACopy) {
  q9::test::ReferenceLink link;
  const std::u16string copy = link.folder().File(u"samples");
  std::filesystem::copy(std::filesystem::path(Q9_SAMPLES_DIR),
                        std::filesystem::path(q9::platform::DisplayPath(copy)),
                        std::filesystem::copy_options::recursive);
  std::ostringstream out;
  std::ostringstream err;
  const int status = Main({"run", "--folder", q9::platform::DisplayPath(copy), "--link",
                           q9::Utf8FromUtf16(q9::test::ReferenceLink::LibraryPath()),
                           "ModelSync", "lightSync", "ModelSync", "cameraSync", "viewsSync"},
                          out, err);
  EXPECT_EQ(status, 0) << err.str();
  EXPECT_EQ(out.str(), "host notified: 1137 0 10\nhost notified: 1137 0 10\n");
  const std::vector<std::string> record =
      q9::test::TextLines(q9::test::ReadFileBytes(copy + u"\\_mod.sync"));
  ASSERT_EQ(record.size(), 11u);
  EXPECT_EQ(record[3], "ID3D: [3] TimeStamp: [2103]") << "the desk as the update left it";
  EXPECT_EQ(record[9], "Material: [M_Oak] TimeStamp: [1101] MatIndex: [12]") << "oiled by the update";
  const std::vector<std::string> names = link.Names();
  EXPECT_THAT(names, Contains("Q9DeleteNode"));
  EXPECT_THAT(names, Contains("SendCameraTransformFov"));
}

// --- the program as a process ---

TEST(Q9xProgram, ExitsWithStatusThreeWhenTheRendererIsMissing) {
  q9::test::ReferenceLink link;  // removes every switch; the child gets its own below
  q9::test::MakeFolder(link.folder().File(u"Data"));
  const std::string folder = q9::platform::DisplayPath(link.folder().File(u"Data"));
#ifdef _WIN32
  const std::wstring command = L"\"" + q9::test::ProgramFolder() + L"" Q9X_PROGRAM L"\" run --folder \"" +
                               std::wstring(folder.begin(), folder.end()) + L"\" ModelSync";
  const q9::test::ChildResult result = q9::test::RunChild(command, {{L"Q9PLUGIN_NO_SESSION", L"1"}});
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 3u);
  const q9::test::ChildResult help = q9::test::RunChild(
      L"\"" + q9::test::ProgramFolder() + L"" Q9X_PROGRAM L"\" --help", {});
  EXPECT_EQ(help.exitCode, 0u);
  EXPECT_THAT(help.output, HasSubstr("usage: q9x COMMAND"));
#else
  // The library is found beside the program.
  const std::string command = "Q9PLUGIN_NO_SESSION=1 '" Q9X_PROGRAM "' run --folder '" + folder +
                              "' ModelSync 2>/dev/null";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  const std::string working = "'" Q9X_PROGRAM "' run --folder '" + folder + "' ModelSync >/dev/null";
  const int ok = std::system(working.c_str());
  EXPECT_EQ(WEXITSTATUS(ok), 0);
#endif
}

}  // namespace
}  // namespace q9x
