#include <string>

#include "base/platform.h"
#include "shell/resources/resource_ids.h"
#include "shell/shell_win32.h"

namespace q9::shell {

MessageWindow::MessageWindow(Handler handler) : handler_(std::move(handler)) {}

bool MessageWindow::Create(HINSTANCE instance, const wchar_t* className, const wchar_t* title,
                           LogWriter& log) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_Q9_EXCHANGE));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = className;
  windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
  // A class registered earlier by this process serves again.
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    log.WriteLine("Error: message window class could not be registered: " +
                  platform::SystemError(GetLastError()).text);
    return false;
  }

  HWND created = CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                 CW_USEDEFAULT, 0, nullptr, nullptr, instance, this);
  if (!created) {
    log.WriteLine("Error: message window could not be created: " +
                  platform::SystemError(GetLastError()).text);
    return false;
  }
  window_.reset(created);
  ShowWindow(created, SW_HIDE);
  UpdateWindow(created);
  return true;
}

// Nothing escapes into the platform's message dispatch: a failure inside a handler ends that
// message's work, the message counts as handled and the loop goes on.
LRESULT CALLBACK MessageWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
  try {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    // Null for the few messages that come before WM_NCCREATE.
    auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == WM_NCDESTROY) {
      // The last message of the window: its owner no longer holds it, whoever destroyed it.
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      if (self->window_.get() == window) static_cast<void>(self->window_.release());
    }
    if (self && self->handler_ && self->handler_(message, wParam, lParam)) return 0;
  } catch (...) {
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace q9::shell
