// Entry point of Q9_Exchange.exe. A start either hands its request to the working instance and
// exits, or becomes the working instance: it creates the hidden message window, sends the model
// to the renderer, queues its own request and runs the message loop until the host or the
// renderer goes away.
#include <windows.h>

#include <exception>
#include <new>
#include <optional>
#include <string>

#include "base/platform.h"
#include "base/unique_handle_win32.h"
#include "base/version.h"
#include "scene/scene_container.h"
#include "shell/resources/resource_ids.h"
#include "shell/shell_win32.h"
#include "sync/model_sync.h"
#include "sync/requests.h"

namespace {

// The exit status of a start that a failure ended (docs/troubleshooting.md, "Exit statuses").
constexpr int kFailedExit = 1;

std::u16string CommandLineText(const wchar_t* commandLine) {
  return commandLine ? std::u16string(reinterpret_cast<const char16_t*>(commandLine))
                     : std::u16string();
}

void LogEnd(q9::ProcessState& process, const char* how) {
  process.log.WriteLine(std::string("Note: working instance ended: ") + how);
}

// One start to its end. `step` is kept naming what the start is doing, for the log line of a
// failure that escapes.
int Run(HINSTANCE instance, PWSTR commandLine, q9::ProcessState& process, const char*& step) {
  using namespace q9;
  // Before anything can load a library: the working folder is whatever folder the host started
  // this process in, and a Q9Plugin.dll lying there must never be loaded.
  std::string searchProblem;
  if (!platform::KeepWorkingFolderOutOfLibrarySearch(&searchProblem)) {
    process.log.WriteLine("Warning: the working folder could not be taken out of the library "
                          "search: " + searchProblem);
  }
  const std::vector<std::u16string> words = SplitCommandLine(CommandLineText(commandLine));
  ApplyCommandLine(process, words);
  const std::optional<uint32_t> request = RequestMessage(process.requestCode);

  wchar_t windowTitle[100] = {};
  wchar_t windowClassName[100] = {};
  LoadStringW(instance, IDS_APP_TITLE, windowTitle, 100);
  LoadStringW(instance, IDC_Q9_EXCHANGE, windowClassName, 100);

  HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Q9_ExchangeMutex");
  // Taken from the mutex creation itself, before any other call can change it.
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    // Forwarding instance: the mutex was never owned, so it is closed, not released.
    const UniqueHandle forwarding(mutex);
    step = "request forwarding";
    if (request) shell::ForwardRequest(process, mutex, windowClassName, words.front(), *request);
    return 0;
  }

  // Released and closed when this function ends, returning or failing, after the container is
  // gone: a later start then becomes the working instance.
  const OwnedMutex working(mutex);
  // The one scene container of the process. It owns the link session, which is torn down, and
  // the library released, when this function ends: before the runtime shuts down.
  SceneContainer container(process);
  shell::WorkingInstance shell(container);
  if (!shell.window().Create(instance, windowClassName, windowTitle, process.log)) return 0;
  process.log.WriteLine(std::string("Note: Q9_Exchange ") + kVersion +
                        " working instance started");
  shell.FindHostWindow();

  step = "start-up load";
  // The renderer missing: the user has been told by the link session.
  if (!loadStartupModel(container)) {
    LogEnd(process, "renderer missing");
    return 0;
  }
#ifdef Q9_TEST_START_LOAD_FAILURE
  // Only the end-to-end tests' build of the program: the start-up load fails as a failed
  // allocation would, with the model sent and the link session and the mutex held.
  throw std::bad_alloc();
#endif

  step = "message loop";
  if (request) {
    HWND target = shell.window().hwnd() ? shell.window().hwnd()
                                        : FindWindowW(windowClassName, nullptr);
    PostMessageW(target, *request, 0, 0);
  }
  LogEnd(process, shell::EndReasonText(shell.RunMessageLoop()));
  return 0;
}

// The one line a failure that reached the entry point leaves. Nothing escapes from here: when
// not even that line can be made, nothing more can be told.
void LogFailure(std::optional<q9::ProcessState>& process, const char* step,
                const char* what) noexcept {
  try {
    if (!process) process.emplace();
    process->log.WriteLine(std::string("Error: Q9_Exchange stopped by a failure in the ") + step +
                           ": " + what);
  } catch (...) {
  }
}

}  // namespace

// Nothing escapes into the runtime, which would end the process without a word and without
// unwinding: a failure unwinds the start (the link session is torn down, the mutex released),
// is logged and ends the process with kFailedExit.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  std::optional<q9::ProcessState> process;
  const char* step = "start";
  try {
    process.emplace();
    return Run(instance, commandLine, *process, step);
  } catch (const std::exception& failure) {
    LogFailure(process, step, failure.what());
  } catch (...) {
    LogFailure(process, step, "an exception of unknown type");
  }
  return kFailedExit;
}
