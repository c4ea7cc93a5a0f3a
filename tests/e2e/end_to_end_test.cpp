// Q9_Exchange.exe as the host starts it: real processes, windows and messages under Wine, with
// the reference link library as Q9Plugin.dll beside the program and its journal showing what
// reached the renderer.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "base/platform.h"
#include "base/text.h"
#include "base/unique_handle_win32.h"
#include "base/version.h"
#include "child_process_win32.h"
#include "end_to_end_fixture.h"
#include "test_files.h"

namespace q9 {
namespace {

using namespace e2e;
using namespace std::chrono_literals;
using test::ChildProcess;
using test::EnvironmentChanges;

TEST_F(EndToEnd, WorkingInstanceLoadsTheModelAndEndsWhenTheHostCloses) {
  StartHost();
  StartRenderer();
  auto working = StartWorking(L"");
  ASSERT_TRUE(WaitUntil([&] { return Calls(Journal(), "DisConnect") >= 1; }, 10s));
  EXPECT_TRUE(working->Running());
  const std::string journalText = Journal();
  EXPECT_EQ(Calls(journalText, "CreateSession"), 1u);
  EXPECT_EQ(Calls(journalText, "SendModel"), 1u);
  EXPECT_TRUE(test::FileExists(exchange + u"\\_model.pdx"));  // a fresh header was written

  CloseWindows(kHostClass);
  unsigned long code = 99;
  EXPECT_TRUE(working->Wait(kExitWithin, &code));
  EXPECT_EQ(code, 0u);
  // The session is torn down at exit.
  const std::string after = Journal();
  EXPECT_EQ(Calls(after, "DestroySession"), 1u);
  // The version comes before the load; the end says why.
  const std::string log = Log();
  const size_t started =
      log.find(Line(std::string("Note: Q9_Exchange ") + kVersion + " working instance started"));
  ASSERT_NE(started, std::string::npos) << log;
  EXPECT_LT(started, log.find(Line("Init Start")));
  EXPECT_NE(log.find(EndedLine("host window gone")), std::string::npos) << log;
}

// Each command word as the first start's own request: the start-up load, then that request.
TEST_F(EndToEnd, FirstStartRunsItsOwnRequestAfterTheLoad) {
  StartHost();
  StartRenderer();
  WriteRecordFiles();
  struct Case {
    const wchar_t* word;
    const char* call;  // the call the request makes after the load; none for no request
  };
  const Case cases[] = {{L"cameraSync", "SendCameraTransformFov"},
                        {L"viewsSync", "SendScenes"},
                        {L"lightSync", "SendModel"},
                        {L"ModelSync", nullptr},
                        {L"colorMode", nullptr},
                        {L"CameraSync", nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8FromUtf16(std::u16string(c.word, c.word + wcslen(c.word))));
    platform::RemovePath(journal);
    const std::string hostBefore = HostRecord();
    auto working = StartWorking(c.word);
    const std::string call = c.call ? c.call : "DisConnect";
    ASSERT_TRUE(WaitUntil([&] { return Calls(Journal(), "DisConnect") >= 1; }, 10s));
    std::this_thread::sleep_for(300ms);  // time for a request that should not be there
    const std::string journalText = Journal();
    EXPECT_EQ(Calls(journalText, "CreateSession"), 1u);
    if (c.call) {
      // The load ends with its transfer; the request comes after it.
      EXPECT_GT(journalText.rfind("\"fn\":\"" + call + "\""), FirstCall(journalText, "SendModel"));
    } else {
      EXPECT_EQ(Calls(journalText, "SendModel"), 1u);
      EXPECT_EQ(Calls(journalText, "SendCameraTransformFov"), 0u);
      EXPECT_EQ(Calls(journalText, "SendScenes"), 0u);
    }
    if (std::wstring(c.word) == L"ModelSync") {
      EXPECT_TRUE(WaitUntil([&] { return Count(HostRecord(), "1137 0 10") == Count(hostBefore, "1137 0 10") + 1; }, 10s));
    }
    PostMessageW(FindWindowW(kWindowClass, nullptr), WM_COMMAND, 105, 0);
    EXPECT_TRUE(working->Wait(kExitWithin));
  }
  // Every start logged its word.
  const std::string log = Log();
  EXPECT_NE(log.find("]: Args - \r\n"), std::string::npos);
  EXPECT_NE(log.find("]: colorMode\r\n"), std::string::npos);
  EXPECT_NE(log.find("]: CameraSync\r\n"), std::string::npos);
}

TEST_F(EndToEnd, RequestsForwardedDuringTheLoadRunBeforeTheOwnRequest) {
  StartHost();
  StartRenderer();
  WriteRecordFiles();
  // The renderer takes its time to start, so the forwarded request waits in the queue.
  auto working = StartWorking(L"cameraSync", {{L"Q9PLUGIN_START_DELAY_MS", L"3000"}});
  EXPECT_EQ(Run(L"viewsSync"), 0u);
  EXPECT_EQ(CountWindows(kWindowClass), 1);
  // The views sync moves the camera to the active view (60 x 1.5) and ends with SendScenes; the
  // camera sync then moves it to "camera.cam" (40 x 1.5).
  ASSERT_TRUE(WaitUntil([&] { return Calls(Journal(), "SendCameraTransformFov") >= 2; }, 15s));
  const std::string journalText = Journal();
  const size_t scenesSent = FirstCall(journalText, "SendScenes");
  const size_t lastCamera = journalText.rfind("\"fn\":\"SendCameraTransformFov\"");
  ASSERT_NE(scenesSent, std::string::npos);
  EXPECT_LT(FirstCall(journalText, "SendModel"), FirstCall(journalText, "SendCameraTransformFov"));
  EXPECT_LT(scenesSent, lastCamera);
  const std::string lastCameraLine = journalText.substr(lastCamera, journalText.find('\n', lastCamera) - lastCamera);
  EXPECT_NE(lastCameraLine.find(",60]}"), std::string::npos) << lastCameraLine;
}

TEST_F(EndToEnd, EndsWhenTheRendererWindowCloses) {
  StartHost();
  StartRenderer();
  auto working = StartWorking(L"");
  CloseWindows(kRendererClass);
  EXPECT_TRUE(working->Wait(kExitWithin));
  EXPECT_TRUE(host->Running());
  EXPECT_NE(Log().find(EndedLine("renderer window gone")), std::string::npos);
}

TEST_F(EndToEnd, EndsByItselfWhenNoHostWindowWasThereAtStart) {
  StartRenderer();
  auto working = StartWorking(L"");
  EXPECT_TRUE(working->Wait(kExitWithin));
  EXPECT_NE(Log().find(EndedLine("no host window found")), std::string::npos);
}

TEST_F(EndToEnd, ExitCommandFromAnySenderEndsTheProcess) {
  StartHost();
  StartRenderer();
  auto working = StartWorking(L"");
  PostMessageW(FindWindowW(kWindowClass, nullptr), WM_COMMAND, 105, 0);
  unsigned long code = 99;
  EXPECT_TRUE(working->Wait(kExitWithin, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_NE(Log().find(EndedLine("command 105")), std::string::npos);
}

TEST_F(EndToEnd, SecondStartForwardsItsRequestAndExits) {
  StartHost();
  StartRenderer();
  auto working = StartWorking(L"");
  ASSERT_TRUE(WaitUntil([&] { return Calls(Journal(), "DisConnect") >= 1; }, 10s));

  EXPECT_EQ(Run(L"ModelSync"), 0u);
  EXPECT_EQ(CountWindows(kWindowClass), 1);
  ASSERT_TRUE(WaitUntil([&] { return Count(HostRecord(), "1137 0 10") == 1; }, 10s));
  EXPECT_TRUE(test::FileExists(exchange + u"\\_mod.sync"));
  EXPECT_NE(Log().find("]: Sync Model state 0\r\n"), std::string::npos);

  // "lightSync" travels as 1028: the update is applied without the state-1 log lines.
  // A transfer ends with DisConnect: waiting for it keeps the journal still for what follows.
  const size_t transfers = Calls(Journal(), "DisConnect");
  EXPECT_EQ(Run(L"lightSync"), 0u);
  ASSERT_TRUE(WaitUntil([&] { return Calls(Journal(), "DisConnect") == transfers + 1; }, 10s));
  EXPECT_EQ(Log().find("Sync Model state 1"), std::string::npos);

  // "colorMode" posts nothing.
  const std::string before = Journal();
  EXPECT_EQ(Run(L"colorMode"), 0u);
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(Journal(), before);
  EXPECT_TRUE(working->Running());
}

TEST_F(EndToEnd, UpdateMessageFromAnOutsideSenderIsLogged) {
  StartHost();
  StartRenderer();
  auto working = StartWorking(L"");
  ASSERT_TRUE(WaitUntil([&] { return Calls(Journal(), "DisConnect") >= 1; }, 10s));
  PostMessageW(FindWindowW(kWindowClass, nullptr), 1027, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return Log().find("Sync Model state 1 _ End") != std::string::npos; }, 10s));
  const std::string log = Log();
  EXPECT_LT(log.find("]: Sync Model state 1 _ Start\r\n"), log.find("]: Sync Model state 1 _ End\r\n"));
  EXPECT_EQ(Calls(Journal(), "SendModel"), 2u);
}

TEST_F(EndToEnd, MissingRendererShowsTheMessageBoxAndReleasesTheMutex) {
  StartHost();
  StartRenderer();
  ChildProcess failing(Program(L"Q9_Exchange.exe") + L" cameraSync",
                       Environment({{L"Q9PLUGIN_NO_SESSION", L"1"}}));
  HWND box = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (box = FindWindowW(L"#32770", kMissingCaption)) != nullptr; }, 10s));
  wchar_t text[1024] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 1024);
  EXPECT_EQ(std::wstring(text).rfind(L"Missing the Q9 render. Install it and start the command.", 0), 0u)
      << Utf8FromUtf16(std::u16string(text, text + wcslen(text)));
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  unsigned long code = 99;
  EXPECT_TRUE(failing.Wait(kExitWithin, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(Calls(Journal(), "SendCameraTransformFov"), 0u);
  EXPECT_NE(Log().find(EndedLine("renderer missing")), std::string::npos);

  // The next start is the working instance.
  auto working = StartWorking(L"");
  EXPECT_TRUE(working->Running());
}

// A failure that escapes the start-up load (the tests' build of the program fails there as a
// failed allocation would, with the model sent): one Error line names it, the link session is
// torn down and the mutex released on the way out, and the exit status says it failed.
TEST_F(EndToEnd, FailureInTheStartupLoadIsLoggedAndReleasesTheInstance) {
  StartHost();
  StartRenderer();
  WriteRecordFiles();
  ChildProcess failing(Program(L"Q9_Exchange_failing_start.exe") + L" cameraSync", Environment());
  unsigned long code = 0;
  ASSERT_TRUE(failing.Wait(kExitWithin, &code));
  EXPECT_EQ(code, 1u);
  const std::string log = Log();
  EXPECT_NE(log.find(Line("Error: Q9_Exchange stopped by a failure in the start-up load: "
                          "std::bad_alloc")),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("working instance ended"), std::string::npos) << log;
  const std::string journalText = Journal();
  EXPECT_EQ(Calls(journalText, "SendModel"), 1u);
  EXPECT_EQ(Calls(journalText, "SendCameraTransformFov"), 0u);  // its request never ran
  EXPECT_EQ(Calls(journalText, "DestroySession"), 1u);
  EXPECT_GT(FirstCall(journalText, "DestroySession"), FirstCall(journalText, "SendModel"));

  // The next start is the working instance, and runs its request.
  auto working = StartWorking(L"cameraSync");
  EXPECT_TRUE(WaitUntil([&] { return Calls(Journal(), "SendCameraTransformFov") == 1; }, 10s));
  EXPECT_TRUE(working->Running());
}

// The version resources of both shipped programs carry the version that --version and the log
// give, and each names its own file.
TEST_F(EndToEnd, ProgramsCarryTheProjectVersion) {
  for (const std::wstring program : {L"Q9_Exchange.exe", L"q9x.exe"}) {
    const std::string name = Utf8FromUtf16(std::u16string(program.begin(), program.end()));
    SCOPED_TRACE(name);
    const std::wstring path = test::ProgramFolder() + program;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(numbers, kVersion);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    const auto text = [&](const wchar_t* field) {
      const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + field;
      wchar_t* value = nullptr;
      EXPECT_TRUE(VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length));
      return value ? Utf8FromUtf16(std::u16string(value, value + wcslen(value))) : std::string();
    };
    EXPECT_EQ(text(L"FileVersion"), kVersion);
    EXPECT_EQ(text(L"ProductVersion"), kVersion);
    EXPECT_EQ(text(L"OriginalFilename"), name);
  }
}

// A start that finds the mutex before the working instance has its window waits for the window,
// and says so when it never comes. The test holds the mutex and plays the working instance.
TEST_F(EndToEnd, ForwardingWaitsForTheWorkingInstanceWindow) {
  q9::OwnedMutex mutex(CreateMutexW(nullptr, TRUE, L"Q9_ExchangeMutex"));
  ASSERT_TRUE(mutex);
  ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

  // The window appears half a second after the start: the request arrives.
  ChildProcess late(Program(L"Q9_Exchange.exe") + L" cameraSync", Environment());
  std::this_thread::sleep_for(500ms);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);
  q9::UniqueWindow window(CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                                          windowClass.hInstance, nullptr));
  ASSERT_TRUE(window);
  MSG message{};
  EXPECT_TRUE(WaitUntil([&] { return PeekMessageW(&message, window.get(), 1025, 1025, PM_REMOVE) != 0; }, 6s));
  unsigned long code = 99;
  EXPECT_TRUE(late.Wait(kExitWithin, &code));
  EXPECT_EQ(code, 0u);
  window.reset();

  // No window within 5 s: the request is named in the log, the exit status stays 0.
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(Run(L"viewsSync"), 0u);
  EXPECT_GE(std::chrono::steady_clock::now() - before, 5s);
  EXPECT_NE(Log().find(Line("Error: request viewsSync (message 1029) not forwarded: "
                            "no working instance window within 5 s")),
            std::string::npos)
      << Log();

  // The working instance gives the mutex up without a window: the wait ends at once.
  // Released once the new start has logged its word (just before it looks at the mutex), so
  // that it finds the mutex held however slowly the machine starts it.
  const auto starts = [&] {
    const std::string log = Log();
    size_t count = 0;
    for (size_t at = log.find("]: lightSync"); at != std::string::npos;
         at = log.find("]: lightSync", at + 1)) {
      ++count;
    }
    return count;
  };
  const size_t startsBefore = starts();
  ChildProcess orphan(Program(L"Q9_Exchange.exe") + L" lightSync", Environment());
  EXPECT_TRUE(WaitUntil([&] { return starts() > startsBefore; }, 10s));
  std::this_thread::sleep_for(300ms);
  mutex.reset();
  EXPECT_TRUE(orphan.Wait(2000, &code));
  EXPECT_NE(Log().find(Line("Error: request lightSync (message 1028) not forwarded: "
                            "the working instance ended before its window was found")),
            std::string::npos);
}

class Burst : public EndToEnd {
 protected:
  // 8 each of the four requests, interleaved.
  static std::vector<std::wstring> Requests() {
    std::vector<std::wstring> words;
    for (int i = 0; i < 8; ++i) {
      for (const wchar_t* word : {L"cameraSync", L"viewsSync", L"ModelSync", L"lightSync"}) {
        words.push_back(word);
      }
    }
    return words;
  }

  // Creates one start per word, suspended, then lets them all go at once; waits for every start
  // but the working instance to end.
  void StartTogether(const std::vector<std::wstring>& words) {
    for (const std::wstring& word : words) {
      starts.push_back(std::make_unique<ChildProcess>(Program(L"Q9_Exchange.exe") + L" " + word,
                                                      Environment(),
                                                      ChildProcess::Start::Suspended));
      ASSERT_TRUE(starts.back()->started());
    }
    for (auto& start : starts) start->Resume();
    ASSERT_TRUE(WaitUntil(
        [&] {
          size_t running = 0;
          for (auto& start : starts) running += start->Running() ? 1 : 0;
          return running <= 1 && FindWindowW(kWindowClass, nullptr) != nullptr;
        },
        40s));
  }

  // Every request handled exactly once, every log line whole, none lost.
  void ExpectEachHandledOnce(size_t startsWithWords) {
    // The camera sync gives 40 x 1.5, the views sync's active view 60 x 1.5; the light sync
    // transfers the model again after the load; the model sync notifies the host.
    auto counts = [&] {
      const std::string journalText = Journal();
      return std::vector<size_t>{CallsWith(journalText, "SendCameraTransformFov", ",60]}"),
                                 Calls(journalText, "SendScenes"),
                                 Calls(journalText, "SendModel"),
                                 Count(HostRecord(), "1137 0 10")};
    };
    const std::vector<size_t> expected{8, 8, 1 + 8, 8};
    EXPECT_TRUE(WaitUntil([&] { return counts() == expected; }, 20s));
    std::this_thread::sleep_for(500ms);  // time for a request handled twice
    EXPECT_EQ(counts(), expected);

    const std::string log = Log();
    const std::regex whole(R"(\[(\d{4}\. \d\d\. \d\d - \d\d:\d\d:\d\d|\d{4}/\d\d/\d\d \d\d:\d\d:\d\d)\]: [^\r\n]*)");
    size_t lines = 0;
    for (size_t at = 0; at < log.size(); ++lines) {
      const size_t end = log.find("\r\n", at);
      ASSERT_NE(end, std::string::npos) << "unterminated last line: " << log.substr(at);
      const std::string line = log.substr(at, end - at);
      EXPECT_TRUE(std::regex_match(line, whole)) << line;
      at = end + 2;
    }
    EXPECT_GT(lines, 0u);
    EXPECT_EQ(Count(log, Line("Args - ")), startsWithWords);
    for (const char* word : {"cameraSync", "viewsSync", "ModelSync", "lightSync"}) {
      EXPECT_EQ(Count(log, Line(word)), 8u) << word;
    }
    EXPECT_EQ(Count(log, Line("Sync Model state 0")), 8u);
    EXPECT_EQ(Count(log, "]: Error: "), 0u) << log;
  }

  std::vector<std::unique_ptr<ChildProcess>> starts;
};

TEST_F(Burst, ThirtyTwoStartsWhileTheWorkingInstanceRuns) {
  StartHost();
  StartRenderer();
  WriteRecordFiles();
  auto working = StartWorking(L"");
  ASSERT_TRUE(WaitUntil([&] { return Calls(Journal(), "DisConnect") >= 1; }, 10s));
  StartTogether(Requests());
  for (auto& start : starts) {
    unsigned long code = 99;
    EXPECT_TRUE(start->Wait(kExitWithin, &code));
    EXPECT_EQ(code, 0u);
  }
  ExpectEachHandledOnce(32);
}

// The working instance's own start is released with the others: whichever takes the mutex
// first works, the rest forward, and nothing is dropped while its window does not exist yet.
TEST_F(Burst, ThirtyTwoStartsTogetherWithTheWorkingInstance) {
  StartHost();
  StartRenderer();
  WriteRecordFiles();
  std::vector<std::wstring> words = Requests();
  words.insert(words.begin() + 16, L"colorMode");
  StartTogether(words);
  ExpectEachHandledOnce(33);
}

}  // namespace
}  // namespace q9
