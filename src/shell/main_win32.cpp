// Entry point of Q9_Exchange.exe. A start either hands its request to the working instance and
// exits, or becomes the working instance: it creates the hidden message window, sends the model
// to the renderer, queues its own request and runs the message loop until the host or the
// renderer goes away.
#include <windows.h>

#include "sync/requests.h"
#include "shell/shell_win32.h"
#include "shell/resources/resource_ids.h"
#include "sync/model_sync.h"
#include "scene/scene_container.h"

namespace {

struct MutexOwner {
  HANDLE handle;
  bool owned;
  ~MutexOwner() {
    if (owned) ReleaseMutex(handle);
    if (handle) CloseHandle(handle);
  }
};

std::u16string CommandLineText(const wchar_t* commandLine) {
  return commandLine ? std::u16string(reinterpret_cast<const char16_t*>(commandLine))
                     : std::u16string();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  using namespace q9;
  ProcessState process;
  ApplyCommandLine(process, SplitCommandLine(CommandLineText(commandLine)));

  HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Q9_ExchangeMutex");
  // Taken from the mutex creation itself, before any other call can change it.
  const bool alreadyRunning = GetLastError() == ERROR_ALREADY_EXISTS;

  LoadStringW(instance, IDS_APP_TITLE, shell::windowTitle, 100);
  LoadStringW(instance, IDC_Q9_EXCHANGE, shell::windowClassName, 100);

  if (alreadyRunning) {
    // Forwarding instance: the mutex was never owned, so it is closed, not released.
    MutexOwner forwarding{mutex, false};
    const HWND working = FindWindowW(shell::windowClassName, nullptr);
    const std::optional<uint32_t> message = RequestMessage(process.requestCode);
    if (working && message) PostMessageW(working, *message, 0, 0);
    return 0;
  }

  MutexOwner working{mutex, mutex != nullptr};
  // The one scene container of the process. It owns the link session, which is torn down, and
  // the library released, when this function returns: before the runtime shuts down.
  SceneContainer container(process);
  if (!shell::CreateMessageWindow(instance, container)) return 0;
  if (!shell::hostWindow) shell::hostWindow = FindWindowA(shell::kHostWindowClass, nullptr);

  // The renderer missing: the user has been told by the link session.
  if (!loadStartupModel(container)) return 0;

  if (const std::optional<uint32_t> message = RequestMessage(process.requestCode)) {
    HWND target = shell::ownWindow ? shell::ownWindow : FindWindowW(shell::windowClassName, nullptr);
    PostMessageW(target, *message, 0, 0);
  }
  shell::RunMessageLoop();
  return 0;
}
