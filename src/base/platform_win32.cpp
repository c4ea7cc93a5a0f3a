// Windows build of the platform seam: the C runtime's wide file access with full sharing,
// the runtime's secure environment read, and the registry under the current user.
#include <windows.h>

#include <share.h>
#include <stdlib.h>
#include <wchar.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/platform.h"
#include "base/text.h"
#include "base/unique_handle_win32.h"

namespace q9::platform {

namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::wstring WideMode(const char* mode) { return std::wstring(mode, mode + std::strlen(mode)); }

}  // namespace

UniqueFile OpenFile(const std::u16string& path, const char* mode) {
  return UniqueFile(_wfsopen(Wide(path), WideMode(mode).c_str(), _SH_DENYNO));
}

std::optional<TextFile> TextFile::Open(const std::u16string& path, Mode mode) {
  UniqueFile file(_wfsopen(Wide(path), mode == Mode::Append ? L"at" : L"wt", _SH_DENYNO));
  if (!file) return std::nullopt;
  return TextFile(std::move(file));
}

void TextFile::Write(std::string_view bytes) {
  // Text mode: the runtime stores every line feed as CR LF.
  std::fwrite(bytes.data(), 1, bytes.size(), file_.get());
}

bool SeekFile(std::FILE* file, int64_t offset) {
  return offset >= 0 && _fseeki64(file, offset, SEEK_SET) == 0;
}

int64_t FileLength(std::FILE* file) {
  if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
  return _ftelli64(file);
}

bool CanReadAndWrite(const std::u16string& path) { return _waccess(Wide(path), 6) == 0; }

FolderState CheckFolder(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) return FolderState::Missing;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return FolderState::NotAFolder;
  // The read-only attribute of a folder does not stop files being made in it; access rights do.
  wchar_t probe[MAX_PATH] = {};
  if (GetTempFileNameW(Wide(path), L"q9p", 0, probe) == 0) return FolderState::NotWritable;
  DeleteFileW(probe);
  return FolderState::Usable;
}

bool PathExists(const std::u16string& path) {
  return GetFileAttributesW(Wide(path)) != INVALID_FILE_ATTRIBUTES;
}

bool RemovePath(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryW(Wide(path)) != 0;
  return DeleteFileW(Wide(path)) != 0;
}

bool CopyFileNoOverwrite(const std::u16string& from, const std::u16string& to) {
  return CopyFileW(Wide(from), Wide(to), TRUE) != 0;
}

std::optional<std::u16string> ReadEnvironment(const std::u16string& name, size_t bufferChars) {
  std::vector<wchar_t> buffer(bufferChars + 1, L'\0');
  size_t required = 0;
  if (_wgetenv_s(&required, buffer.data(), bufferChars, Wide(name)) != 0 || required == 0) {
    return std::nullopt;
  }
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()));
}

std::optional<std::u16string> ReadProcessEnvironment(const std::u16string& name) {
  // The value may change between the two calls: read again until it fits.
  std::vector<wchar_t> buffer(256, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);  // an empty value also gives 0
    const DWORD got = GetEnvironmentVariableW(Wide(name), buffer.data(),
                                              static_cast<DWORD>(buffer.size()));
    if (got == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::u16string();
    }
    if (got < buffer.size()) {
      return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), got);
    }
    buffer.assign(got + 1, L'\0');
  }
}

bool MoveFileReplacing(const std::u16string& from, const std::u16string& to) {
  return MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

std::optional<std::u16string> ReadUserRegistryText(const std::u16string& subKey,
                                                   const std::u16string& valueName,
                                                   uint32_t bufferBytes) {
  UniqueRegistryKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(subKey), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  // One spare unit beyond the buffer the query may fill, so that a value stored without its
  // terminating zero is still terminated.
  std::vector<char16_t> buffer(bufferBytes / 2 + 2, u'\0');
  DWORD size = bufferBytes;
  if (RegQueryValueExW(key.get(), Wide(valueName), nullptr, nullptr,
                       reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  const size_t units = std::min<size_t>(size, bufferBytes) / 2;
  std::u16string text(buffer.data(), units);
  const size_t zero = text.find(u'\0');
  if (zero != std::u16string::npos) text.resize(zero);
  return text;
}

// The portable owner hands its module to the Win32 owner, which frees it on the spot.
void ModuleCloser::operator()(void* module) const noexcept {
  UniqueLibrary library(static_cast<HMODULE>(module));
}

UniqueModule LoadModule(const std::u16string& path) {
  return UniqueModule(LoadLibraryW(Wide(path)));
}

void* ModuleSymbol(void* module, const char* name) {
  if (!module) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

std::u16string DefaultLinkLibraryPath() { return u"Q9Plugin.dll"; }

void ShowErrorMessage(const std::u16string& caption, const std::u16string& text) {
  MessageBoxW(nullptr, Wide(text), Wide(caption), MB_OK);
}

std::string DisplayPath(const std::u16string& path) { return Utf8FromUtf16(path); }

}  // namespace q9::platform
