// The fixture of the end-to-end tests: Q9_Exchange.exe as the host starts it, under Wine, with
// stand-in host and renderer windows and the reference link library's journal.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "base/platform.h"
#include "base/text.h"
#include "child_process_win32.h"
#include "test_files.h"

namespace q9::e2e {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::EnvironmentChanges;

constexpr wchar_t kWindowClass[] = L"Q9_Exchange";
constexpr wchar_t kHostClass[] = L"Plandora_class";
constexpr wchar_t kRendererClass[] = L"Qt5152QWindowIcon";
constexpr wchar_t kMissingCaption[] = L"Error: missing Q9 Render application!";
constexpr unsigned long kExitWithin = 15000;  // generous: the watchdog itself ticks every second

inline std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

inline bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

inline int CountWindows(const wchar_t* className) {
  struct Search {
    const wchar_t* className;
    int count = 0;
  } search{className};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[256] = {};
        GetClassNameW(window, name, 256);
        if (wcscmp(name, s->className) == 0) ++s->count;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.count;
}

inline void CloseWindows(const wchar_t* className) {
  while (HWND window = FindWindowW(className, nullptr)) {
    SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
    if (IsWindow(window)) break;
  }
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    // A working instance left behind by an earlier failure would turn every start into a
    // forwarding one.
    if (HWND leftover = FindWindowW(kWindowClass, nullptr)) {
      PostMessageW(leftover, WM_COMMAND, 105, 0);
      WaitUntil([] { return !FindWindowW(kWindowClass, nullptr); }, 5s);
    }
    CloseWindows(kHostClass);
    CloseWindows(kRendererClass);
    test::MakeFolder(exchange);
  }

  void TearDown() override {
    if (HWND window = FindWindowW(kWindowClass, nullptr)) PostMessageW(window, WM_COMMAND, 105, 0);
    WaitUntil([] { return !FindWindowW(kWindowClass, nullptr); }, 5s);
    CloseWindows(kHostClass);
    CloseWindows(kRendererClass);
  }

  std::wstring Program(const wchar_t* name) const {
    return L"\"" + test::ProgramFolder() + name + L"\"";
  }

  EnvironmentChanges Environment(EnvironmentChanges extra = {}) const {
    EnvironmentChanges changes{{L"APPDATA", Wide(appData)},
                               {L"Q9PLUGIN_JOURNAL", Wide(journal)},
                               {L"Q9PLUGIN_START_RESULT", std::nullopt},
                               {L"Q9PLUGIN_NO_SESSION", std::nullopt},
                               {L"Q9PLUGIN_REFUSE_CONNECT", std::nullopt}};
    for (auto& [name, value] : extra) changes[name] = value;
    return changes;
  }

  void StartHost() {
    host = std::make_unique<ChildProcess>(Program(L"standin_host.exe") + L" \"" +
                                              Wide(hostRecord) + L"\"",
                                          EnvironmentChanges{});
    ASSERT_TRUE(WaitUntil([] { return FindWindowW(kHostClass, nullptr) != nullptr; }, 10s));
  }
  void StartRenderer() {
    renderer = std::make_unique<ChildProcess>(Program(L"standin_renderer.exe"), EnvironmentChanges{});
    ASSERT_TRUE(WaitUntil([] { return FindWindowW(kRendererClass, nullptr) != nullptr; }, 10s));
  }

  // Starts Q9_Exchange.exe with a command line and waits until it is the working instance.
  std::unique_ptr<ChildProcess> StartWorking(const std::wstring& words,
                                             EnvironmentChanges extra = {}) {
    auto process = std::make_unique<ChildProcess>(Program(L"Q9_Exchange.exe") + L" " + words,
                                                  Environment(std::move(extra)));
    EXPECT_TRUE(WaitUntil([] { return FindWindowW(kWindowClass, nullptr) != nullptr; }, 10s));
    return process;
  }

  // Runs Q9_Exchange.exe to its end; returns its exit code.
  unsigned long Run(const std::wstring& words, EnvironmentChanges extra = {}) {
    ChildProcess process(Program(L"Q9_Exchange.exe") + L" " + words, Environment(std::move(extra)));
    unsigned long code = 99;
    EXPECT_TRUE(process.Wait(kExitWithin, &code));
    return code;
  }

  // "camera.cam" and "Views.cam" as the host writes them before asking for a camera or views sync.
  void WriteRecordFiles() const {
    test::WriteFileBytes(exchange + u"\\camera.cam",
                         "Camera_Start\r\nCamera_Version [1]\r\nCamera_nType [0]\r\n"
                         "Camera__fov [40]\r\nCamera_Name [Current]\r\n"
                         "Camera__from [100 -900 170]\r\nCamera__to [0 0 170]\r\n"
                         "Camera__up [0 0 1]\r\nCamera_End\r\n");
    test::WriteFileBytes(exchange + u"\\Views.cam",
                         "Cameras_Start\r\nCameras_Version [1]\r\nCameras_nActCamera [0]\r\n"
                         "Cameras_Camera_ObjectSTART\r\nCamera_Start\r\nCamera__fov [60]\r\n"
                         "Camera_Name [Front]\r\nCamera__from [0 -1000 170]\r\n"
                         "Camera__to [0 0 170]\r\nCamera__up [0 0 1]\r\nCamera_End\r\n"
                         "Cameras_Camera_ObjectEND\r\nCameras_End\r\n");
  }

  std::string Log() const {
    return test::ReadFileBytes(appData + u"\\Vendrix\\Plandora2025_Q9Plugin\\DataQ9_Log.log");
  }
  std::string Journal() const { return test::ReadFileBytes(journal); }
  std::string HostRecord() const { return test::ReadFileBytes(hostRecord); }
  static size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
      ++count;
    }
    return count;
  }
  static size_t Calls(const std::string& journal, const std::string& function) {
    return Count(journal, "\"fn\":\"" + function + "\"");
  }
  // Calls of `function` whose journal line also holds `marker`.
  static size_t CallsWith(const std::string& journal, const std::string& function,
                          const std::string& marker) {
    size_t count = 0;
    std::istringstream lines(journal);
    for (std::string line; std::getline(lines, line);) {
      if (line.find("\"fn\":\"" + function + "\"") != std::string::npos &&
          line.find(marker) != std::string::npos) {
        ++count;
      }
    }
    return count;
  }
  // A log line as the system writes it: "]: " + message + CR LF.
  static std::string Line(const std::string& message) { return "]: " + message + "\r\n"; }
  static std::string EndedLine(const std::string& how) {
    return Line("Note: working instance ended: " + how);
  }

  // Where the first call of `function` stands in the journal; npos when there is none.
  static size_t FirstCall(const std::string& journal, const std::string& function) {
    return journal.find("\"fn\":\"" + function + "\"");
  }

  test::TempFolder root;
  std::u16string appData = root.File(u"appdata");
  std::u16string exchange = appData + u"\\Vendrix\\Plandora2025_Q9Plugin\\Data";
  std::u16string journal = root.File(u"journal.jsonl");
  std::u16string hostRecord = root.File(u"host.txt");
  std::unique_ptr<ChildProcess> host;
  std::unique_ptr<ChildProcess> renderer;
};

}  // namespace q9::e2e
