#include <io.h>
#include <windows.h>

#include <cstdio>
#include <vector>

#include "base/text.h"
#include "common/environment.h"

namespace q9x {

namespace {

std::wstring Wide(const std::string& utf8) {
  const std::u16string text = q9::Utf16FromUtf8(utf8);
  return std::wstring(text.begin(), text.end());
}

}  // namespace

// A loaded library has a C runtime of its own and reads the Win32 block, which _wputenv would
// not reach.
void SetProcessVariable(const std::string& name, const std::optional<std::string>& value) {
  SetEnvironmentVariableW(Wide(name).c_str(), value ? Wide(*value).c_str() : nullptr);
}

std::optional<std::string> ProcessVariable(const std::string& name) {
  const std::wstring wideName = Wide(name);
  const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::vector<wchar_t> buffer(size);
  const DWORD got = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), size);
  if (got == 0 || got >= size) return std::nullopt;
  return q9::Utf8FromUtf16(std::u16string(buffer.data(), buffer.data() + got));
}

std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &size)) return "";
  return q9::Utf8FromUtf16(std::u16string(name, name + size));
}

std::string DefaultRecordingFolder() {
  const std::optional<std::string> local = ProcessVariable("LOCALAPPDATA");
  return local && !local->empty() ? *local + "\\Q9_Exchange\\Recording" : std::string();
}

bool ErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

bool WindowClassFound(const char* windowClass) { return FindWindowA(windowClass, nullptr) != nullptr; }

}  // namespace q9x
