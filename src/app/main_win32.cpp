// Entry point of Q9_Exchange.exe. A start either hands its request to the working instance and
// exits, or becomes the working instance: it creates the hidden message window, sends the model
// to the renderer, queues its own request and runs the message loop until the host or the
// renderer goes away.
#include <windows.h>

#include "app/requests.h"
#include "app/shell_win32.h"
#include "resources/resource_ids.h"
#include "scene/model_sync.h"
#include "scene/scene_container.h"

namespace {

// The one scene container of the process; it owns the link session, which is torn down when
// the container is destroyed at process exit.
q9::SceneContainer container;

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
  ApplyCommandLine(SplitCommandLine(CommandLineText(commandLine)));

  HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Q9_ExchangeMutex");
  // Taken from the mutex creation itself, before any other call can change it.
  const bool alreadyRunning = GetLastError() == ERROR_ALREADY_EXISTS;

  LoadStringW(instance, IDS_APP_TITLE, shell::windowTitle, 100);
  LoadStringW(instance, IDC_Q9_EXCHANGE, shell::windowClassName, 100);

  if (alreadyRunning) {
    // Forwarding instance: the mutex was never owned, so it is closed, not released.
    MutexOwner forwarding{mutex, false};
    const HWND working = FindWindowW(shell::windowClassName, nullptr);
    const std::optional<uint32_t> message = RequestMessage(requestCode);
    if (working && message) PostMessageW(working, *message, 0, 0);
    return 0;
  }

  MutexOwner working{mutex, mutex != nullptr};
  if (!shell::CreateMessageWindow(instance, container)) return 0;
  if (!shell::hostWindow) shell::hostWindow = FindWindowA(shell::kHostWindowClass, nullptr);

  // The renderer missing: the user has been told by the link session.
  if (!loadStartupModel(container)) return 0;

  if (const std::optional<uint32_t> message = RequestMessage(requestCode)) {
    HWND target = shell::ownWindow ? shell::ownWindow : FindWindowW(shell::windowClassName, nullptr);
    PostMessageW(target, *message, 0, 0);
  }
  shell::RunMessageLoop();
  return 0;
}
