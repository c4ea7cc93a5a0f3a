// Entry point of Q9_Exchange.exe. A start either hands its request to the working instance and
// exits, or becomes the working instance: it creates the hidden message window, sends the model
// to the renderer, queues its own request and runs the message loop until the host or the
// renderer goes away.
#include <windows.h>

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

std::u16string CommandLineText(const wchar_t* commandLine) {
  return commandLine ? std::u16string(reinterpret_cast<const char16_t*>(commandLine))
                     : std::u16string();
}

void LogEnd(q9::ProcessState& process, const char* how) {
  process.log.WriteLine(std::string("Note: working instance ended: ") + how);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  using namespace q9;
  ProcessState process;
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

  HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Q9_ExchangeMutex");
  // Taken from the mutex creation itself, before any other call can change it.
  const bool alreadyRunning = GetLastError() == ERROR_ALREADY_EXISTS;

  wchar_t windowTitle[100] = {};
  wchar_t windowClassName[100] = {};
  LoadStringW(instance, IDS_APP_TITLE, windowTitle, 100);
  LoadStringW(instance, IDC_Q9_EXCHANGE, windowClassName, 100);

  if (alreadyRunning) {
    // Forwarding instance: the mutex was never owned, so it is closed, not released.
    const UniqueHandle forwarding(mutex);
    if (request) shell::ForwardRequest(process, mutex, windowClassName, words.front(), *request);
    return 0;
  }

  // Released and closed when this function returns, after the container is gone.
  const OwnedMutex working(mutex);
  // The one scene container of the process. It owns the link session, which is torn down, and
  // the library released, when this function returns: before the runtime shuts down.
  SceneContainer container(process);
  shell::WorkingInstance shell(container);
  if (!shell.window().Create(instance, windowClassName, windowTitle, process.log)) return 0;
  process.log.WriteLine(std::string("Note: Q9_Exchange ") + kVersion +
                        " working instance started");
  shell.FindHostWindow();

  // The renderer missing: the user has been told by the link session.
  if (!loadStartupModel(container)) {
    LogEnd(process, "renderer missing");
    return 0;
  }

  if (request) {
    HWND target = shell.window().hwnd() ? shell.window().hwnd()
                                        : FindWindowW(windowClassName, nullptr);
    PostMessageW(target, *request, 0, 0);
  }
  LogEnd(process, shell::EndReasonText(shell.RunMessageLoop()));
  return 0;
}
