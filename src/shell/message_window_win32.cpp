#include <cstring>

#include "sync/requests.h"
#include "shell/shell_win32.h"
#include "shell/resources/resource_ids.h"

namespace q9::shell {

HWND ownWindow = nullptr;
HWND hostWindow = nullptr;
wchar_t windowTitle[100] = {};
wchar_t windowClassName[100] = {};

namespace {

SceneContainer* windowContainer = nullptr;  // the container the window's requests work on
UINT_PTR watchdogTimerId = 0;

LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (windowContainer &&
      DispatchSyncMessage(*windowContainer, message, [] { NotifyHostWindow(); })) {
    return 0;
  }
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == kExitCommand) {
        DestroyWindow(ownWindow);
        return 0;
      }
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Nothing escapes into the platform's message dispatch: a failure inside a sync ends that sync,
// the message counts as handled and the loop goes on.
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    return HandleMessage(window, message, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

}  // namespace

HWND CreateMessageWindow(HINSTANCE instance, SceneContainer& container) {
  windowContainer = &container;

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_Q9_EXCHANGE));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = windowClassName;
  windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
  // A failed registration shows itself as a failed window creation.
  RegisterClassExW(&windowClass);

  ownWindow = CreateWindowExW(0, windowClassName, windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
  if (ownWindow) {
    ShowWindow(ownWindow, SW_HIDE);
    UpdateWindow(ownWindow);
  }
  return ownWindow;
}

void NotifyHostWindow() {
  if (!hostWindow) hostWindow = FindWindowA(kHostWindowClass, nullptr);
  // With no host window the notification has no recipient and is lost. (Posted to a null
  // window it would land in this thread's own queue instead.)
  if (hostWindow) {
    PostMessageW(hostWindow, kHostSyncStateMessage, kHostSyncStateWParam, kHostSyncStateLParam);
  }
}

bool WatchdogSaysEnd() {
  if (!hostWindow) return true;
  char className[256] = {};
  GetClassNameA(hostWindow, className, sizeof className);
  if (!IsWindow(hostWindow)) return true;
  // A handle the platform has given to another window since.
  if (std::strcmp(className, kHostWindowClass) != 0) return true;
  return FindWindowA(kRendererWindowClass, nullptr) == nullptr;
}

void RunMessageLoop() {
  watchdogTimerId = SetTimer(ownWindow, kWatchdogTimer, kWatchdogPeriodMs, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
    if (message.message == WM_TIMER && message.wParam == watchdogTimerId && WatchdogSaysEnd()) {
      break;
    }
  }
}

}  // namespace q9::shell
