// Stands in for the host or the renderer: one top-level window of the class its program's name
// chooses (standin_host.exe: the host's, else the renderer's, as the program looks for them); one
// object file, linked into both programs. Every message from
// WM_USER up that reaches the window is appended to the record file as a line
// "message wParam lParam". The program ends when its window is closed or destroyed, or after
// the optional lifetime in milliseconds.
//
//   standin_host.exe RECORD_FILE [LIFETIME_MS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <string_view>

#include "base/peer_windows.h"
#include "base/unique_handle_win32.h"

namespace {

// The host's window class when the program's file name holds "host", else the renderer's.
std::string_view StandInClass() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  const wchar_t* name = std::wcsrchr(path, L'\\');
  return std::wcsstr(name ? name : path, L"host") ? q9::kHostWindowClass : q9::kRendererWindowClass;
}

std::wstring recordFile;

void Record(UINT message, WPARAM wParam, LPARAM lParam) {
  if (recordFile.empty()) return;
  if (FILE* file = _wfopen(recordFile.c_str(), L"ab")) {
    std::fprintf(file, "%u %llu %lld\n", message, static_cast<unsigned long long>(wParam),
                 static_cast<long long>(lParam));
    std::fclose(file);
  }
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_USER) {
    Record(message, wParam, lParam);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1) recordFile = argv[1];
  const UINT lifetime = argc > 2 ? static_cast<UINT>(std::wcstoul(argv[2], nullptr, 10)) : 0;

  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = instance;
  const std::string_view standInClass = StandInClass();
  const std::wstring className(standInClass.begin(), standInClass.end());
  windowClass.lpszClassName = className.c_str();
  if (!RegisterClassExW(&windowClass)) return 2;
  // Destroyed at the end of the lifetime, or when the program ends if it still exists.
  q9::UniqueWindow window(CreateWindowExW(0, windowClass.lpszClassName, L"stand-in",
                                          WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                          nullptr, nullptr, instance, nullptr));
  if (!window) return 3;
  if (lifetime > 0) SetTimer(window.get(), 1, lifetime, nullptr);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && window && message.hwnd == window.get()) {
      window.reset();
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // The loop ends with WM_DESTROY's quit message: the window is gone already.
  static_cast<void>(window.release());
  return 0;
}
