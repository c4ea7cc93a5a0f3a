// Files held open without sharing by another process (here: this test), as a host still writing
// them or a virus scanner does. The working instance waits for each, briefly: a file released
// within the bound is used as if nothing had happened; one held beyond it fails as it would
// have at once, with an "Error: " line that says the file was in use.
#include <windows.h>

#include <gmock/gmock.h>

#include <filesystem>
#include <optional>
#include <regex>

#include "end_to_end_fixture.h"
#include "held_file_win32.h"

namespace q9 {
namespace {

using namespace e2e;

// The bound a test sets for the "inside the bound" cases: long, so that a slow moment of this
// machine never makes the release come late.
constexpr wchar_t kLongBoundMs[] = L"5000";
// How long a file stays held inside that bound, counted from the request or the start.
constexpr auto kHeldInside = 500ms;

class FileInUse : public EndToEnd {
 protected:
  void SetUp() override {
    EndToEnd::SetUp();
    std::filesystem::copy(std::filesystem::path(Q9_SAMPLES_DIR_WINDOWS),
                          std::filesystem::path(Wide(exchange)),
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing);
    WriteRecordFiles();
    StartHost();
    StartRenderer();
  }

  // The instance's environment: the raw archive in the test's folder (the sample containers name
  // a project in the shared samples folder) and, unless nullopt, the bound.
  EnvironmentChanges WithBound(std::optional<std::wstring> bound) const {
    return {{L"Q9PLUGIN_ARCHIVE_DIR", Wide(root.path())}, {L"Q9_FILE_IN_USE_WAIT_MS", bound}};
  }

  std::string Shown(const char16_t* name) const { return Utf8FromUtf16(exchange + u"\\" + name); }

  bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }
  // Waits for a log line that begins with `start`; returns the whole line, or "" after 15 s.
  std::string AwaitLine(const std::string& start) const {
    std::string line;
    WaitUntil(
        [&] {
          const std::string log = Log();
          const size_t at = log.find("]: " + start);
          if (at == std::string::npos) return false;
          line = log.substr(at + 3, log.find("\r\n", at) - at - 3);
          return true;
        },
        15s);
    return line;
  }

  void Post(UINT message) const { PostMessageW(FindWindowW(kWindowClass, nullptr), message, 0, 0); }

  // Holds `name` while `request` runs, released after kHeldInside.
  void HoldWhile(const char16_t* name, const std::function<void()>& request) const {
    test::HeldFile held(exchange + u"\\" + name);
    ASSERT_TRUE(held.held());
    request();
    std::this_thread::sleep_for(kHeldInside);
  }
};

// A line of a file given up on: the default bound of 1 s or more waited, and the system's text.
bool GaveUp(const std::string& line) {
  return std::regex_match(
      line, std::regex(R"(.*: it was in use by another process; given up after [1-9][0-9]{3,} ms: .*\(error 32\).*)"));
}

TEST_F(FileInUse, FilesReleasedWithinTheBoundAreUsedAsIfNothingHappened) {
  std::unique_ptr<ChildProcess> working;
  {
    // Held before the instance starts; released once its window shows that it is at its load.
    test::HeldFile held(exchange + u"\\_model.pdx");
    ASSERT_TRUE(held.held());
    working = StartWorking(L"", WithBound(kLongBoundMs));
    std::this_thread::sleep_for(kHeldInside);
  }
  ASSERT_TRUE(WaitUntil([&] { return Calls(Journal(), "DisConnect") >= 1; }, 15s));
  EXPECT_THAT(AwaitLine("Note: container \"" + Shown(u"_model.pdx") + "\" was in use"),
              ::testing::HasSubstr(" by another process; opened after "));
  EXPECT_GT(Calls(Journal(), "MaxBeginNode"), 0u) << "the model was loaded";

  // 1027 with "_mod.sm" held: the update is applied once it is free.
  HoldWhile(u"_mod.sm", [&] { Post(1027); });
  EXPECT_NE(AwaitLine("Sync Model state 1 _ End"), "");
  EXPECT_TRUE(LogHas("]: Note: container \"" + Shown(u"_mod.sm") + "\" was in use by another process; opened after "));
  EXPECT_GT(Calls(Journal(), "Q9DeleteNode"), 0u) << "the change list was applied";

  // 1025 with "camera.cam" held: the camera is sent once it is free.
  HoldWhile(u"camera.cam", [&] { Post(1025); });
  EXPECT_TRUE(WaitUntil([&] { return CallsWith(Journal(), "SendCameraTransformFov", ",60]}") == 1; }, 15s));
  EXPECT_TRUE(LogHas("]: Note: record file \"" + Shown(u"camera.cam") + "\" was in use by another process; read after "));

  // 1026 with "_mod.sync" held (the host reading the earlier record): written, host notified.
  HoldWhile(u"_mod.sync", [&] { Post(1026); });
  EXPECT_TRUE(WaitUntil([&] { return Count(HostRecord(), "1137 0 10") == 1; }, 15s));
  EXPECT_TRUE(LogHas("]: Note: sync record \"" + Shown(u"_mod.sync") + "\" was in use by another process; written after "));
  EXPECT_THAT(test::ReadFileBytes(exchange + u"\\_mod.sync"), ::testing::StartsWith("SourceProject: ["));
  EXPECT_FALSE(LogHas("]: Error: ")) << Log();
}

TEST_F(FileInUse, FilesHeldBeyondTheBoundFailAsTheyWouldAndTheInstanceCarriesOn) {
  std::unique_ptr<ChildProcess> working;
  {
    // The default bound: the start-up load gives up, and the renderer gets an empty model.
    test::HeldFile held(exchange + u"\\_model.pdx");
    ASSERT_TRUE(held.held());
    working = StartWorking(L"", WithBound(std::nullopt));
    const std::string line = AwaitLine("Error: container \"" + Shown(u"_model.pdx") + "\" could not be opened: ");
    EXPECT_TRUE(GaveUp(line)) << line;
    ASSERT_TRUE(WaitUntil([&] { return Calls(Journal(), "DisConnect") >= 1; }, 15s));
  }
  EXPECT_EQ(Calls(Journal(), "MaxBeginNode"), 0u) << "an empty model";
  EXPECT_EQ(Calls(Journal(), "SendModel"), 1u);

  // Each request gives up on its file as it did without waiting, and is done again once free.
  {
    test::HeldFile held(exchange + u"\\_mod.sm");
    Post(1027);
    const std::string line = AwaitLine("Error: container \"" + Shown(u"_mod.sm") + "\" could not be opened: ");
    EXPECT_TRUE(GaveUp(line)) << line;
    EXPECT_NE(AwaitLine("Sync Model state 1 _ End"), "");
  }
  EXPECT_EQ(Calls(Journal(), "MaxBeginNode"), 0u) << "nothing of the update";
  {
    test::HeldFile held(exchange + u"\\camera.cam");
    Post(1025);
    const std::string line = AwaitLine("Error: record file \"" + Shown(u"camera.cam") + "\" could not be read: ");
    EXPECT_TRUE(GaveUp(line)) << line;
  }
  {
    test::HeldFile held(exchange + u"\\_mod.sync");
    Post(1026);
    const std::string failed = AwaitLine("Error: sync record \"" + Shown(u"_mod.sync") + "\" could not be written: ");
    EXPECT_TRUE(GaveUp(failed)) << failed;
    EXPECT_THAT(failed, ::testing::HasSubstr("; the host is not notified"));
  }
  EXPECT_EQ(Calls(Journal(), "SendCameraTransformFov"), 0u);
  EXPECT_EQ(Count(HostRecord(), "1137 0 10"), 0u);

  // Free again: the next requests work.
  Post(1025);
  Post(1026);
  EXPECT_TRUE(WaitUntil([&] { return Count(HostRecord(), "1137 0 10") == 1; }, 15s));
  EXPECT_EQ(CallsWith(Journal(), "SendCameraTransformFov", ",60]}"), 1u);
  EXPECT_TRUE(working->Running());
}

}  // namespace
}  // namespace q9
