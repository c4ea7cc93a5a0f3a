// Windows: the Win32 environment block and wide file names.
#include <windows.h>

#include <share.h>
#include <stdio.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host_files.h"

namespace q9plugin {

namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

struct FileCloser {
  void operator()(FILE* file) const noexcept { fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

bool WriteAll(FILE* file, std::string_view bytes) {
  return fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && fflush(file) == 0;
}

}  // namespace

std::optional<std::u16string> ReadEnvironment(const char* name) {
  std::wstring wideName(name, name + strlen(name));
  const DWORD needed = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::vector<wchar_t> buffer(needed + 1, L'\0');
  const DWORD got = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), needed + 1);
  if (got == 0 || got > needed) return std::nullopt;
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), got);
}

bool AppendToFile(const std::u16string& path, std::string_view bytes) {
  UniqueFile file(_wfsopen(Wide(path), L"ab", _SH_DENYNO));
  return file && WriteAll(file.get(), bytes);
}

bool ReplaceWholeFile(const std::u16string& path, std::string_view bytes) {
  // One temporary name per process, so that two processes saving the same archive do not write
  // into each other's temporary file.
  std::u16string temporary = path + u".";
  for (char digit : std::to_string(GetCurrentProcessId())) temporary += char16_t(digit);
  temporary += u".tmp";
  {
    UniqueFile file(_wfsopen(Wide(temporary), L"wb", _SH_DENYWR));
    if (!file) return false;
    if (!WriteAll(file.get(), bytes)) {
      file.reset();
      DeleteFileW(Wide(temporary));
      return false;
    }
  }
  if (!MoveFileExW(Wide(temporary), Wide(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(Wide(temporary));
    return false;
  }
  return true;
}

}  // namespace q9plugin
