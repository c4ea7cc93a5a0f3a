// Small window controls for tests and the demo, by window class or caption:
//
//   winctl post CLASS MESSAGE [WPARAM [LPARAM]]   post a message to the first window of CLASS
//   winctl command CLASS ID                        post WM_COMMAND with the command id ID
//   winctl close CLASS                             close every top-level window of CLASS
//   winctl wait CLASS TIMEOUT_MS                   wait until a window of CLASS exists
//   winctl gone CLASS TIMEOUT_MS                   wait until no window of CLASS exists
//   winctl msgbox CAPTION TIMEOUT_MS               wait for a message box with CAPTION, print
//                                                  its text and press its OK button
//
// Exit status 0 on success, 1 when the window was not found or the time ran out, 2 for wrong
// arguments.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool WaitFor(DWORD timeoutMs, bool (*ready)(const wchar_t*), const wchar_t* argument) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (ready(argument)) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);
  }
}

bool Exists(const wchar_t* className) { return FindWindowW(className, nullptr) != nullptr; }
bool Gone(const wchar_t* className) { return !Exists(className); }

std::string Utf8(const std::wstring& text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
  std::string out(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), bytes,
                      nullptr, nullptr);
  return out;
}

// The message box's text: its static control (dialog item 0xFFFF).
std::wstring BoxText(HWND box) {
  wchar_t text[4096] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 4096);
  return text;
}

int MessageBoxCommand(const wchar_t* caption, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  HWND box = nullptr;
  // "#32770" is the class of dialog boxes, message boxes included.
  while (!(box = FindWindowW(L"#32770", caption))) {
    if (GetTickCount64() >= deadline) return 1;
    Sleep(20);
  }
  std::printf("%s\n", Utf8(BoxText(box)).c_str());
  std::fflush(stdout);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring command = argv[1];
  const wchar_t* target = argv[2];
  auto number = [&](int index) -> unsigned long long {
    return argc > index ? std::wcstoull(argv[index], nullptr, 10) : 0;
  };

  if (command == L"post" && argc >= 4) {
    HWND window = FindWindowW(target, nullptr);
    if (!window) return 1;
    return PostMessageW(window, static_cast<UINT>(number(3)), static_cast<WPARAM>(number(4)),
                        static_cast<LPARAM>(number(5)))
               ? 0
               : 1;
  }
  if (command == L"command" && argc >= 4) {
    HWND window = FindWindowW(target, nullptr);
    if (!window) return 1;
    return PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(number(3)), 0) ? 0 : 1;
  }
  if (command == L"close") {
    bool any = false;
    while (HWND window = FindWindowW(target, nullptr)) {
      any = true;
      SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
      if (IsWindow(window)) break;
    }
    return any ? 0 : 1;
  }
  if (command == L"wait") return WaitFor(static_cast<DWORD>(number(3)), Exists, target) ? 0 : 1;
  if (command == L"gone") return WaitFor(static_cast<DWORD>(number(3)), Gone, target) ? 0 : 1;
  if (command == L"msgbox") return MessageBoxCommand(target, static_cast<DWORD>(number(3)));
  return 2;
}
