// A recorded session of the working instance as the host drives it: start-up, a camera sync,
// two model updates whose "_mod.sm" differs, a views sync while the recording's own line file is
// held by another program, and a model sync. Every request is timed in the log; every step keeps
// the bytes its request read; the held file costs a line of the recording, never a request.
#include <windows.h>

#include <gmock/gmock.h>

#include <filesystem>
#include <map>
#include <regex>

#include <nlohmann/json.hpp>

#include "end_to_end_fixture.h"
#include "held_file_win32.h"

namespace q9 {
namespace {

using namespace e2e;

class RecordedSession : public EndToEnd {
 protected:
  void SetUp() override {
    EndToEnd::SetUp();
    std::filesystem::copy(std::filesystem::path(Q9_SAMPLES_DIR_WINDOWS),
                          std::filesystem::path(Wide(exchange)),
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing);
    WriteRecordFiles();
    test::WriteFileBytes(exchange + u"\\Q9_Recording.json",
                         "{\"format\": 1, \"folder\": " +
                             nlohmann::json(Utf8FromUtf16(recording)).dump() + "}\n");
    StartHost();
    StartRenderer();
  }

  void Post(UINT message) const { PostMessageW(FindWindowW(kWindowClass, nullptr), message, 0, 0); }
  // Waits until the log holds `count` lines that begin with `start`.
  bool AwaitLines(const std::string& start, size_t count) const {
    return WaitUntil([&] { return Count(Log(), "]: " + start) >= count; }, 20s);
  }
  // The one session folder of the recording.
  std::u16string Session() const {
    const std::vector<std::string> sessions = test::FolderEntryNames(recording);
    return sessions.size() == 1 ? recording + u"\\" + Utf16FromUtf8(sessions[0]) : u"";
  }

  std::u16string recording = root.File(u"recording");
};

TEST_F(RecordedSession, EachRequestIsTimedAndKeepsTheBytesItRead) {
  const std::string model = test::ReadFileBytes(exchange + u"\\_model.pdx");
  const std::string camera = test::ReadFileBytes(exchange + u"\\camera.cam");
  const std::string firstUpdate = test::ReadFileBytes(exchange + u"\\_mod.sm");
  const std::string views = test::ReadFileBytes(exchange + u"\\Views.cam");
  // The host's second update: the same change, written anew with bytes of its own at the end.
  const std::string secondUpdate = firstUpdate + std::string("second update\0\0\0", 16);
  ASSERT_FALSE(model.empty());
  ASSERT_FALSE(firstUpdate.empty());

  auto working = StartWorking(L"cameraSync", {{L"Q9PLUGIN_ARCHIVE_DIR", Wide(root.path())}});
  ASSERT_TRUE(AwaitLines("Note: request 1025 (camera sync) done", 1)) << Log();
  Post(1027);
  ASSERT_TRUE(AwaitLines("Note: request 1027 (model update) done", 1)) << Log();
  test::WriteFileBytes(exchange + u"\\_mod.sm", secondUpdate);
  Post(1027);
  ASSERT_TRUE(AwaitLines("Note: request 1027 (model update) done", 2)) << Log();
  const std::u16string requests = Session() + u"\\requests.jsonl";
  {
    test::HeldFile held(requests);
    ASSERT_TRUE(held.held());
    Post(1029);
    ASSERT_TRUE(AwaitLines("Note: request 1029 (views sync) done", 1)) << Log();
  }
  Post(1026);
  ASSERT_TRUE(AwaitLines("Note: request 1026 (model sync) done", 1)) << Log();
  CloseWindows(kHostClass);
  unsigned long code = 99;
  ASSERT_TRUE(working->Wait(kExitWithin, &code));
  EXPECT_EQ(code, 0u);

  // Each request's line follows its own lines, and says where its time went.
  const std::string log = Log();
  const std::regex timed(R"(\]: Note: (request 102[5-9] \([a-z ]+\)|start-up load) done in [0-9 ]+ ms: files [0-9 ]+ ms, link library [0-9 ]+ ms(, [0-9 ]+ solids? sent)?\r\n)");
  EXPECT_EQ(std::distance(std::sregex_iterator(log.begin(), log.end(), timed), std::sregex_iterator()), 6)
      << log;
  EXPECT_TRUE(std::regex_search(log, std::regex("Sync Model state 1 _ End\r\n[^\r]*Note: request 1027 "
                                                "\\(model update\\) done in [0-9 ]+ ms: files [0-9 ]+ ms, "
                                                "link library [0-9 ]+ ms, [0-9 ]+ solids? sent")))
      << log;
  EXPECT_TRUE(std::regex_search(log, std::regex("Sync Model state 0\r\n[^\r]*Note: request 1026 \\(model sync\\)")))
      << log;
  EXPECT_EQ(Count(log, "]: Warning: recording: the step's line could not be added to "), 1u) << log;
  EXPECT_EQ(Count(log, "]: Error: "), 0u) << log;
  // The held line file cost nothing of the request: the views reached the renderer.
  EXPECT_GE(CallsWith(Journal(), "SendCameraTransformFov", ",90]}"), 1u);

  // Every step but the one whose line could not be added, each with the bytes its request read.
  const std::vector<std::string> lines = test::TextLines(test::ReadFileBytes(requests));
  ASSERT_EQ(lines.size(), 5u) << test::ReadFileBytes(requests);
  const std::map<std::string, std::pair<std::string, std::string>> expected = {
      {"0001-startup", {"_model.pdx", model}},      {"0002-1025", {"camera.cam", camera}},
      {"0003-1027", {"_mod.sm", firstUpdate}},      {"0004-1027", {"_mod.sm", secondUpdate}},
      {"0006-1026", {"_mod.sync", test::ReadFileBytes(exchange + u"\\_mod.sync")}}};
  for (const std::string& text : lines) {
    const nlohmann::json step = nlohmann::json::parse(text);
    const std::string folder = step["folder"];
    ASSERT_EQ(expected.count(folder), 1u) << text;
    const auto& [name, bytes] = expected.at(folder);
    EXPECT_EQ(step["outcome"], "done") << text;
    ASSERT_EQ(step["files"].size(), 1u) << text;
    const nlohmann::json& file = step["files"][0];
    EXPECT_EQ(file["name"], name) << text;
    EXPECT_EQ(file["size"], bytes.size()) << text;
    EXPECT_TRUE(file["kept"].get<bool>()) << text;
    platform::Sha256 hash;
    hash.Add(bytes.data(), bytes.size());
    EXPECT_EQ(file["sha256"], hash.HexDigest()) << text;
    EXPECT_EQ(test::ReadFileBytes(Session() + u"\\" + Utf16FromUtf8(folder) + u"\\" + Utf16FromUtf8(name)),
              bytes)
        << folder;
  }
  // The views sync's bytes were kept before its line was lost.
  EXPECT_EQ(test::ReadFileBytes(Session() + u"\\0005-1029\\Views.cam"), views);
}

}  // namespace
}  // namespace q9
