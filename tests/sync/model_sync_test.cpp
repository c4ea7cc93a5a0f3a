#include "sync/model_sync.h"

#include <gmock/gmock.h>

#include "base/log.h"
#include "sync/requests.h"
#include "scene_fixture.h"

#ifdef _WIN32
#include "held_file_win32.h"
#endif

namespace q9 {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

MaterialRecord Material(std::u16string name, int32_t index) {
  MaterialRecord material;
  material.MaterialID_Name = std::move(name);
  material._nMatDescIndex = index;
  return material;
}

class ModelSyncTest : public SceneTest {
 protected:
  std::string Record() { return test::ReadFileBytes(File(u"_mod.sync")); }
};

// --- the sync record ---

TEST_F(ModelSyncTest, RecordWithNothingSentHoldsTheSourceProjectAlone) {
  container.currentSectionName = u"C:\\p\\Villa.pln";
  writeSyncRecord(container);
  EXPECT_EQ(Record(), "SourceProject: [C:\\p\\Villa.pln]\r\n");
}

TEST_F(ModelSyncTest, RecordListsSolidsThenMaterialsInKeyOrder) {
  for (int32_t id : {2, 10, 1, -4}) {
    container.solids[static_cast<uint32_t>(id)] = SolidEntry{id * 100, u"", id};
  }
  container.materials[u"b"] = Material(u"b", 7);
  container.materials[u"B"] = Material(u"B", -2);
  container.materials[u"b"].nTimeID = 55;
  writeSyncRecord(container);
  EXPECT_THAT(test::TextLines(Record()), ElementsAre("SourceProject: []",
                                           "ID3D: [1] TimeStamp: [100]",
                                           "ID3D: [2] TimeStamp: [200]",
                                           "ID3D: [10] TimeStamp: [1000]",
                                           "ID3D: [-4] TimeStamp: [-400]",
                                           "Material: [B] TimeStamp: [-1] MatIndex: [-2]",
                                           "Material: [b] TimeStamp: [55] MatIndex: [7]"));
}

TEST_F(ModelSyncTest, RecordWritesEachCharacterAsOneByte) {
  container.currentSectionName = u"Caf\u00e9 \u0100 \U0001F3E0.pln";
  container.materials[u"x\u00ff"] = Material(u"x\u00ff", 0);
  writeSyncRecord(container);
  EXPECT_EQ(Record(), std::string("SourceProject: [Caf\xe9 ? ?.pln]\r\n"
                                  "Material: [x\xff] TimeStamp: [-1] MatIndex: [0]\r\n"));
}

TEST_F(ModelSyncTest, RecordReplacesTheEarlierOne) {
  test::WriteFileBytes(File(u"_mod.sync"), std::string(500, 'x'));
  EXPECT_TRUE(writeSyncRecord(container));
  EXPECT_EQ(Record(), "SourceProject: []\r\n");
  EXPECT_THAT(LogMessages(), IsEmpty());
}

TEST_F(ModelSyncTest, FolderEndingInABackslashGetsNoSecondOne) {
  process.exchangeFolder.Fix(exchange + u"\\");
  writeSyncRecord(container);
  EXPECT_EQ(Record(), "SourceProject: []\r\n");
}

// --- notify ---

TEST_F(ModelSyncTest, NotifyWritesTheRecordThenNotifiesThenLogs) {
  std::vector<std::string> order;
  modelSyncNotify(container, [&] {
    order.push_back(test::FileExists(File(u"_mod.sync")) ? "notified after the record" : "too early");
  });
  EXPECT_THAT(order, ElementsAre("notified after the record"));
  EXPECT_THAT(LogMessages(), ElementsAre("Sync Model state 0"));
}

TEST_F(ModelSyncTest, RecordThatCannotBeWrittenIsNeverReportedAsDone) {
  // A folder, not empty, where the record would go: it can be neither written nor removed.
  test::MakeFolder(File(u"_mod.sync") + u"\\inner");
  int notified = 0;
  EXPECT_FALSE(modelSyncNotify(container, [&] { ++notified; }));
  EXPECT_EQ(notified, 0) << "the host is not told about a record that is not there";
  const std::vector<std::string> messages = LogMessages();
  ASSERT_EQ(messages.size(), 1u) << "no \"Sync Model state 0\"";
  EXPECT_THAT(messages[0], testing::StartsWith("Error: sync record \"" +
                                               platform::DisplayPath(File(u"_mod.sync")) +
                                               "\" could not be written: "));
  EXPECT_THAT(messages[0], EndsWith("; the host is not notified"));
  EXPECT_TRUE(test::FileExists(File(u"_mod.sync") + u"\\inner")) << "a folder is not removed";
  // The dispatcher gives the same outcome to its caller (q9x run).
  EXPECT_EQ(DispatchSyncMessage(container, kSyncModelMessage, [&] { ++notified; }),
            std::optional<bool>(false));
  EXPECT_EQ(notified, 0);
}

#ifdef _WIN32
TEST_F(ModelSyncTest, RecordHeldByTheHostIsToldAsInUse) {
  test::WriteFileBytes(File(u"_mod.sync"), "earlier\n");
  const test::HeldFile held(File(u"_mod.sync"));
  ASSERT_TRUE(held.held());
  process.fileInUseWait = FileInUseWait(std::chrono::milliseconds(0));
  EXPECT_FALSE(modelSyncNotify(container, [] {}));
  EXPECT_THAT(LogMessages(),
              ElementsAre("Error: sync record \"" + platform::DisplayPath(File(u"_mod.sync")) +
                          "\" could not be written: it was in use by another process; not "
                          "waited for (no wait set): " +
                          platform::SystemError(ERROR_SHARING_VIOLATION).text +
                          "; the host is not notified; the earlier record could not be removed "
                          "and is out of date"));
}
#endif

// --- apply ---

json Update(const std::string& project, int32_t solid) {
  return {{"entries", json::array({{{"name", project}, {"changeList", {{"items", json::array({{{"kind", "Solid"}, {"ids", {solid}}}})}}}},
                                   {{"name", project}, {"geometry", {{"solids", json::array({{{"id", solid}, {"timeStamp", 9}}})}}}}})}};
}

TEST_F(ModelSyncTest, ApplyRemovesTheChangedSolidThenSendsTheUpdateAndTransfers) {
  container.solids[4] = SolidEntry{1, u"Solid_4", 4};
  Write(u"_mod.sm", Update("", 4));
  modelSyncApply(container, true);
  const std::string archive = test::JournalText(session.RawArchivePath());
  EXPECT_THAT(link.Texts(), ElementsAre("Q9DeleteNode [\"Solid_4\"]", "Q9EndNode []",
                                        "Q9SendProcessed []", "DisConnect []",
                                        BeginNode("Solid_4"), "Q9EndNode []",
                                        "Connect []", "HasConnected []", "SendModel []",
                                        "Q9SaveRawToQ9a [" + archive + "]", "DisConnect []"));
  EXPECT_EQ(container.solids[4].timeStamp, 9);
  EXPECT_EQ(platform::DisplayPath(container.path), platform::DisplayPath(File(u"_mod.sm")));
  EXPECT_THAT(LogMessages(), ElementsAre("Sync Model state 1 _ Start", "Sync Model state 1 _ End"));
}

TEST_F(ModelSyncTest, DispatcherRunsTheSyncOfEachRequestMessage) {
  Write(u"_mod.sm", Update("", 4));
  int notified = 0;
  const NotifyHost notify = [&] { ++notified; };
  for (uint32_t message : {1024u, 1030u, 1137u, 105u}) {
    EXPECT_FALSE(DispatchSyncMessage(container, message, notify)) << message;
  }
  EXPECT_THAT(link.Texts(), IsEmpty());
  EXPECT_TRUE(DispatchSyncMessage(container, kSyncLightMessage, notify));
  EXPECT_THAT(LogMessages(), IsEmpty());
  EXPECT_EQ(container.solids.count(4), 1u);
  EXPECT_TRUE(DispatchSyncMessage(container, kSyncModelUpdateMessage, notify));
  EXPECT_TRUE(DispatchSyncMessage(container, kSyncModelMessage, notify));
  EXPECT_EQ(notified, 1);
  EXPECT_THAT(LogMessages(), ElementsAre("Sync Model state 1 _ Start", "Sync Model state 1 _ End",
                                         "Sync Model state 0"));
  EXPECT_THAT(test::TextLines(Record()), ElementsAre("SourceProject: []", "ID3D: [4] TimeStamp: [9]"));
}

// A start's word, carried as the forwarding instance carries it, runs the sync the word names.
TEST_F(ModelSyncTest, EachCommandWordReachesTheSyncItNames) {
  Write(u"_mod.sm", Update("", 4));
  test::WriteFileBytes(File(u"camera.cam"), "Camera_Start\nCamera_End\n");
  test::WriteFileBytes(File(u"Views.cam"), "\n");
  int notified = 0;
  const test::TempFolder startsLog;
  const auto run = [&](const std::u16string& word) {
    link.ClearJournal();
    ProcessState started;
    started.exchangeFolder.Fix(startsLog.path() + u"\\");
    ApplyCommandLine(started, {word});
    const std::optional<uint32_t> message = RequestMessage(started.requestCode);
    return message ? DispatchSyncMessage(container, *message, [&] { ++notified; }) : std::nullopt;
  };
  EXPECT_TRUE(run(u"cameraSync"));
  EXPECT_THAT(link.Texts(), ElementsAre(HasSubstr("SendCameraTransformFov")));
  EXPECT_TRUE(run(u"viewsSync"));
  EXPECT_THAT(link.Texts(), Contains(HasSubstr("SendScenes")));
  EXPECT_TRUE(run(u"lightSync"));
  EXPECT_EQ(container.solids.count(4), 1u);
  EXPECT_EQ(notified, 0);
  EXPECT_THAT(LogMessages(), IsEmpty()) << "lightSync applies the update without log lines";
  EXPECT_TRUE(run(u"ModelSync"));
  EXPECT_EQ(notified, 1);
  EXPECT_THAT(LogMessages(), ElementsAre("Sync Model state 0"));
  EXPECT_EQ(run(u"colorMode"), std::nullopt) << "the colour mode is carried by no message";
  EXPECT_EQ(run(u"modelSync"), std::nullopt);
}

// --- start-up ---

class StartupTest : public ModelSyncTest {
 protected:
  // A container whose session has not been started yet.
  void SetUp() override {
    test::MakeFolder(exchange);
    process.exchangeFolder.Fix(exchange);
    fresh.session.libraryPath = test::ReferenceLink::LibraryPath();
    logLinesBefore = test::TextLines(test::ReadFileBytes(process.log.LogPath())).size();
  }
  SceneContainer fresh{process};
};

TEST_F(StartupTest, LoadsTheModelOfTheFirstEntryAndTransfersIt) {
  Write(u"_model.pdx", {{"entries", json::array({{{"name", "C:\\p\\Villa.pln"},
                                                  {"geometry", {{"solids", json::array({{{"id", 1}}})}}}}})}});
  ASSERT_TRUE(loadStartupModel(fresh));
  EXPECT_EQ(fresh.session.modelFilePath, u"C:\\p\\Villa.pln");
  const std::string archive = test::JournalText(u"C:\\p\\Villa.q9a");
  EXPECT_THAT(link.Texts(), ElementsAre("SetQ9RenderPath [\"\"]", "StartLinkQ9Render [\"Villa\"]",
                                        "CreateSession []", "Q9SaveRawToQ9a [" + archive + "]",
                                        "Q9GetRenderVersion [32]", "Q9SetMaterialVersion [1]",
                                        "SetModelFilePath [\"Villa\"]", BeginNode("Solid_1"),
                                        "Q9EndNode []", "Connect []", "HasConnected []",
                                        "SendModel []", "Q9SaveRawToQ9a [" + archive + "]",
                                        "DisConnect []"));
  EXPECT_EQ(fresh.file, nullptr);
  EXPECT_THAT(LogMessages(),
              ElementsAre("Init Start", testing::StartsWith("Note: link library loaded from ")));
}

TEST_F(StartupTest, MissingModelIsCreatedAndTheSessionStillStarts) {
  ASSERT_TRUE(loadStartupModel(fresh));
  EXPECT_TRUE(test::FileExists(File(u"_model.pdx")));
  EXPECT_EQ(fresh.session.modelFilePath, u"");
  EXPECT_THAT(link.Names(), Not(testing::Contains("MaxBeginNode")));
  EXPECT_THAT(link.Names(), testing::Contains("SendModel"));
}

// Each way the exchange folder can be unusable: one "Error: " line before "Init Start", saying
// where the folder was looked for and what is wrong with it. The start goes on.
TEST_F(StartupTest, UnusableExchangeFolderIsToldWhereTheWorkStarts) {
  struct Case {
    std::u16string folder;
    std::string problem;
  };
  test::WriteFileBytes(File(u"plain.txt"), "x");
  std::vector<Case> cases = {
      {exchange + u"\\absent", "\" (given to the program) is missing"},
      {File(u"plain.txt"), "\" (given to the program) is not a folder"},
  };
#ifndef _WIN32
  cases.push_back({u"/proc/", "\" (given to the program) is not writable"});
#endif
  for (const Case& c : cases) {
    ProcessState other;
    other.exchangeFolder.Fix(c.folder);
    SceneContainer container(other);
    container.session.libraryPath = test::ReferenceLink::LibraryPath();
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(loadStartupModel(container));
    // The log lies beside the folder (its name run together with the folder's), or, where that
    // cannot be written, standard error has the line.
    const std::string told = ::testing::internal::GetCapturedStderr() +
                             test::ReadFileBytes(other.log.LogPath());
    EXPECT_THAT(told, HasSubstr("]: Error: exchange folder \"" + platform::DisplayPath(c.folder) +
                                c.problem))
        << told;
    EXPECT_LT(told.find("Error: exchange folder"), told.find("Init Start")) << told;
  }
}

TEST_F(StartupTest, NoExchangeFolderAtAllIsTold) {
  ProcessState nowhere{ExchangeFolder([](const std::u16string&, size_t) { return std::nullopt; },
                                      [](const std::u16string&, const std::u16string&, uint32_t) {
                                        return std::nullopt;
                                      })};
  EXPECT_EQ(ExchangeFolderProblem(nowhere.exchangeFolder),
            "no exchange folder: APPDATA is not set and the registry value \"TempPath\" of "
            "HKEY_CURRENT_USER\\SOFTWARE\\Vendrix\\Plandora2025_Q9Plugin could not be read; "
            "files are looked for in the working directory");
  ProcessState fromAppData{ExchangeFolder(
      [this](const std::u16string&, size_t) { return std::optional(exchange); },
      [](const std::u16string&, const std::u16string&, uint32_t) { return std::nullopt; })};
  EXPECT_EQ(ExchangeFolderProblem(fromAppData.exchangeFolder),
            "exchange folder \"" +
                platform::DisplayPath(exchange + u"\\Vendrix\\Plandora2025_Q9Plugin\\Data") +
                "\" (from APPDATA) is missing");
}

TEST_F(StartupTest, MissingRendererReadsNoSection) {
  Write(u"_model.pdx", {{"entries", json::array({{{"name", "p"}, {"geometry", {{"solids", json::array({{{"id", 1}}})}}}}})}});
  test::ReferenceLink::SetVariable("Q9PLUGIN_NO_SESSION", u"1");
  std::string shown;
  process.showErrorMessage = [&shown](const std::u16string& caption, const std::u16string&) {
    shown = Utf8FromUtf16(caption);
  };
  EXPECT_FALSE(loadStartupModel(fresh));
  EXPECT_EQ(shown, "Error: missing Q9 Render application!");
  EXPECT_THAT(link.Names(), ElementsAre("SetQ9RenderPath", "StartLinkQ9Render", "CreateSession"));
  EXPECT_THAT(fresh.solids, IsEmpty());
  EXPECT_EQ(fresh.file, nullptr);
}

}  // namespace
}  // namespace q9
