#include <cstring>
#include <string>

#include "base/peer_windows.h"
#include "base/platform.h"
#include "base/text.h"
#include "shell/shell_win32.h"
#include "sync/requests.h"

namespace q9::shell {

const char* EndReasonText(EndReason reason) {
  switch (reason) {
    case EndReason::NoHostWindow:
      return "no host window found";
    case EndReason::HostWindowGone:
      return "host window gone";
    case EndReason::RendererWindowGone:
      return "renderer window gone";
    case EndReason::ExitCommand:
      return "command 105";
    case EndReason::WindowClosed:
      return "message window closed";
    case EndReason::None:
      break;
  }
  return "unknown";
}

WorkingInstance::WorkingInstance(SceneContainer& container)
    : container_(container),
      window_([this](UINT message, WPARAM wParam, LPARAM) {
        return HandleMessage(message, wParam);
      }) {}

bool WorkingInstance::HandleMessage(UINT message, WPARAM wParam) {
  if (DispatchSyncMessage(container_, message, [this] { NotifyHostWindow(); })) return true;
  if (message == WM_COMMAND && LOWORD(wParam) == kExitCommand) {
    if (end_ == EndReason::None) end_ = EndReason::ExitCommand;
    window_.Destroy();
    return true;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return true;
  }
  return false;
}

void WorkingInstance::FindHostWindow() {
  if (!hostWindow_) hostWindow_ = FindWindowA(kHostWindowClass, nullptr);
}

void WorkingInstance::NotifyHostWindow() {
  FindHostWindow();
  // With no host window the notification has no recipient and is lost. (Posted to a null
  // window it would land in this thread's own queue instead.)
  if (hostWindow_) {
    PostMessageW(hostWindow_, kHostSyncStateMessage, kHostSyncStateWParam, kHostSyncStateLParam);
  }
}

// The host window is never looked up again here: once it is null or gone, the loop ends.
EndReason WorkingInstance::WatchdogCheck() const {
  if (!hostWindow_) return EndReason::NoHostWindow;
  char className[256] = {};
  GetClassNameA(hostWindow_, className, sizeof className);
  if (!IsWindow(hostWindow_)) return EndReason::HostWindowGone;
  // A handle the platform has given to another window since.
  if (std::strcmp(className, kHostWindowClass) != 0) return EndReason::HostWindowGone;
  if (FindWindowA(kRendererWindowClass, nullptr) == nullptr) return EndReason::RendererWindowGone;
  return EndReason::None;
}

EndReason WorkingInstance::RunMessageLoop() {
  const UINT_PTR watchdogTimerId =
      SetTimer(window_.hwnd(), kWatchdogTimer, kWatchdogPeriodMs, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
    if (message.message == WM_TIMER && message.wParam == watchdogTimerId) {
      if (const EndReason reason = WatchdogCheck(); reason != EndReason::None) return reason;
    }
  }
  return end_ != EndReason::None ? end_ : EndReason::WindowClosed;
}

namespace {

// True once the working instance has given up the mutex (or died holding it): no window will
// come. The mutex taken here for that test is given back at once.
bool WorkingInstanceGone(HANDLE mutex) {
  const DWORD result = WaitForSingleObject(mutex, 0);
  if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) return false;
  ReleaseMutex(mutex);
  return true;
}

}  // namespace

void ForwardRequest(ProcessState& process, HANDLE mutex, const wchar_t* className,
                    const std::u16string& word, uint32_t message) {
  // The working instance creates its window right after taking the mutex; a start that comes
  // in between waits for the window rather than dropping its request.
  const ULONGLONG deadline = GetTickCount64() + kForwardWaitMs;
  std::string lost;
  HWND working = FindWindowW(className, nullptr);
  while (!working) {
    if (mutex && WorkingInstanceGone(mutex)) {
      lost = "the working instance ended before its window was found";
      break;
    }
    if (GetTickCount64() >= deadline) {
      lost = "no working instance window within " + std::to_string(kForwardWaitMs / 1000) + " s";
      break;
    }
    Sleep(kForwardPollMs);
    working = FindWindowW(className, nullptr);
  }
  if (working) {
    if (PostMessageW(working, message, 0, 0)) return;
    lost = "posting failed: " + platform::SystemError(GetLastError()).text;
  }
  process.log.WriteLine("Error: request " + Utf8FromUtf16(word) + " (message " +
                        std::to_string(message) + ") not forwarded: " + lost);
}

}  // namespace q9::shell
