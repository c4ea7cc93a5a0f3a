// Windows build of the platform seam: the C runtime's wide file access with full sharing,
// the runtime's secure environment read, and the registry under the current user.
#include <windows.h>
#include <bcrypt.h>

#include <share.h>
#include <stdlib.h>
#include <wchar.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwctype>
#include <functional>
#include <string>
#include <vector>

#include "base/platform.h"
#include "base/platform_file_system.h"
#include "base/text.h"
#include "base/unique_handle_win32.h"

namespace q9::platform {

namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::wstring WideMode(const char* mode) { return std::wstring(mode, mode + std::strlen(mode)); }

// The reason of the C runtime call that just failed: the system's code that the runtime kept in
// _doserrno when the system refused, its own errno otherwise (a wrong mode, say). Both are
// cleared before each call, so neither is left over from an earlier one.
FileError LastRuntimeError() {
  const unsigned long system = _doserrno;
  if (system != 0) return SystemError(static_cast<uint32_t>(system));
  const int runtime = errno != 0 ? errno : EIO;
  return FileError{static_cast<uint32_t>(runtime), std::strerror(runtime), false};
}

void ClearRuntimeError() {
  _doserrno = 0;
  errno = 0;
}

}  // namespace

FileError SystemError(uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (length > 0 && buffer) {
    text = Utf8FromUtf16(std::u16string(reinterpret_cast<const char16_t*>(buffer), length));
  }
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) text = "unknown error";
  return FileError{code, text + " (error " + std::to_string(code) + ")",
                   code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION};
}

UniqueFile OpenFile(const std::u16string& path, const char* mode, FileError* error) {
  ClearRuntimeError();
  UniqueFile file(_wfsopen(Wide(path), WideMode(mode).c_str(), _SH_DENYNO));
  if (!file && error) *error = LastRuntimeError();
  return file;
}

size_t ReadFromFile(std::FILE* file, void* buffer, size_t size, FileError* error) {
  ClearRuntimeError();
  const size_t got = std::fread(buffer, 1, size, file);
  if (got < size && std::ferror(file) && error) *error = LastRuntimeError();
  return got;
}

bool WriteToFile(std::FILE* file, std::string_view bytes, FileError* error) {
  ClearRuntimeError();
  if (std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size()) return true;
  if (error) *error = LastRuntimeError();
  return false;
}

bool FinishFile(UniqueFile file, FileError* error) {
  if (!file) return false;
  std::optional<FileError> failure;
  ClearRuntimeError();
  if (std::fflush(file.get()) != 0) failure = LastRuntimeError();
  const bool failedBefore = std::ferror(file.get()) != 0;
  ClearRuntimeError();
  if (std::fclose(file.release()) != 0 && !failure) failure = LastRuntimeError();
  if (!failure && !failedBefore) return true;
  if (error) *error = failure ? *failure : SystemError(ERROR_WRITE_FAULT);
  return false;
}

std::optional<TextFile> TextFile::Open(const std::u16string& path, Mode mode, FileError* error) {
  ClearRuntimeError();
  UniqueFile file(_wfsopen(Wide(path), mode == Mode::Append ? L"at" : L"wt", _SH_DENYNO));
  if (!file) {
    if (error) *error = LastRuntimeError();
    return std::nullopt;
  }
  return TextFile(std::move(file));
}

bool TextFile::Finish(FileError* error) {
  if (!file_) return false;
  const bool finished = FinishFile(std::move(file_), error);
  if (writeError_) {
    if (error) *error = *writeError_;
    return false;
  }
  return finished;
}

void TextFile::Write(std::string_view bytes) {
  if (!file_) return;
  // Text mode: the runtime stores every line feed as CR LF.
  FileError failure;
  if (!WriteToFile(file_.get(), bytes, &failure) && !writeError_) writeError_ = failure;
}

bool SeekFile(std::FILE* file, int64_t offset, FileError* error) {
  ClearRuntimeError();
  if (offset < 0) errno = EINVAL;
  if (offset >= 0 && _fseeki64(file, offset, SEEK_SET) == 0) return true;
  if (error) *error = LastRuntimeError();
  return false;
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

// Appends to one file are taken in turn by every process: Wine places a FILE_APPEND_DATA write
// at the end of the file in two steps, so two processes could otherwise write at one offset.
// The mutex is named after the file, so logs of other folders do not wait for each other.
class AppendTurn {
 public:
  explicit AppendTurn(const std::u16string& path) {
    std::u16string folded = path;
    for (char16_t& c : folded) c = static_cast<char16_t>(std::towlower(c));
    const std::wstring name =
        L"Q9_ExchangeAppend_" + std::to_wstring(std::hash<std::u16string>{}(folded));
    mutex_.reset(CreateMutexW(nullptr, FALSE, name.c_str()));
    // A turn that does not come within two seconds is not waited for any longer: a line in a
    // slow moment is worth more than one held back. An abandoned mutex is this process's now.
    if (mutex_) {
      const DWORD waited = WaitForSingleObject(mutex_.get(), 2000);
      owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
  }
  ~AppendTurn() {
    if (owned_) ReleaseMutex(mutex_.get());
  }
  AppendTurn(const AppendTurn&) = delete;
  AppendTurn& operator=(const AppendTurn&) = delete;

 private:
  UniqueHandle mutex_;
  bool owned_ = false;
};

bool AppendToFile(const std::u16string& path, std::string_view bytes, FileError* error,
                  size_t* appended) {
  if (appended) *appended = 0;
  const AppendTurn turn(path);
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end of the file as it is
  // at that moment. Full sharing, deletion included, so that a rotation may rename the file
  // while it is open here.
  const HANDLE opened = CreateFileW(Wide(path), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    if (error) *error = SystemError(GetLastError());
    return false;
  }
  const UniqueHandle file(opened);
  DWORD written = 0;
  BOOL wrote =
      WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  DWORD writeError = GetLastError();
  if (wrote && written < bytes.size()) {
    // A file that took only part (a full disk): the rest once more, which tells why, or goes in
    // if the room came back meanwhile.
    DWORD rest = 0;
    wrote = WriteFile(file.get(), bytes.data() + written, static_cast<DWORD>(bytes.size() - written),
                      &rest, nullptr);
    writeError = wrote ? ERROR_DISK_FULL : GetLastError();
    written += rest;
  }
  if (appended) *appended = written;
  if (written == bytes.size()) return true;
  if (error) *error = SystemError(writeError);
  return false;
}

bool RenameFile(const std::u16string& from, const std::u16string& to, bool replace) {
  return MoveFileExW(Wide(from), Wide(to), replace ? MOVEFILE_REPLACE_EXISTING : 0) != 0;
}

bool CreateFileExclusive(const std::u16string& path) {
  const HANDLE created = CreateFileW(Wide(path), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created == INVALID_HANDLE_VALUE) return false;
  const UniqueHandle file(created);
  return true;
}

int64_t FileAgeSeconds(const std::u16string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data)) return -1;
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const auto ticks = [](const FILETIME& time) {
    return static_cast<int64_t>(static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
  };
  return (ticks(now) - ticks(data.ftLastWriteTime)) / 10000000;  // 100 ns units
}

int64_t FileSize(const std::u16string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data)) return -1;
  return static_cast<int64_t>(static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
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

UniqueModule LoadModule(const std::u16string& path, std::string* error) {
  UniqueModule module(LoadLibraryW(Wide(path)));
  if (!module && error) *error = SystemError(GetLastError()).text;
  return module;
}

void* ModuleSymbol(void* module, const char* name) {
  if (!module) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

std::u16string ModuleFilePath(void* module) {
  if (!module) return {};
  // A path may be longer than MAX_PATH; the text is cut when the buffer was too small.
  std::vector<wchar_t> buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(static_cast<HMODULE>(module), buffer.data(),
                                            static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
    }
    if (buffer.size() >= 32768) return {};
    buffer.assign(buffer.size() * 2, L'\0');
  }
}

bool KeepWorkingFolderOutOfLibrarySearch(std::string* error) {
  const std::u16string program = ModuleFilePath(GetModuleHandleW(nullptr));
  const size_t separator = program.find_last_of(u"\\/");
  if (separator == std::u16string::npos) {
    if (error) *error = "the program's own folder is unknown";
    return false;
  }
  // The folder with its closing separator ("C:\", not "C:", for a program at a drive's root).
  const std::u16string folder = program.substr(0, separator + 1);
  if (SetDllDirectoryW(Wide(folder))) return true;
  if (error) *error = SystemError(GetLastError()).text;
  return false;
}

std::u16string DefaultLinkLibraryPath() { return u"Q9Plugin.dll"; }

void ShowErrorMessage(const std::u16string& caption, const std::u16string& text) {
  MessageBoxW(nullptr, Wide(text), Wide(caption), MB_OK);
}

std::string DisplayPath(const std::u16string& path) { return Utf8FromUtf16(path); }

std::filesystem::path FileSystemPath(const std::u16string& path) {
  return std::filesystem::path(std::wstring(Wide(path)));
}

// A failed BCrypt call leaves no hash: the digest then is that of nothing, which never matches
// a file's, rather than a crash.
struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~State() {
    if (hash) BCryptDestroyHash(hash);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  if (BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
    state_->algorithm = nullptr;
    return;
  }
  if (BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0) != 0) {
    state_->hash = nullptr;
  }
}

Sha256::~Sha256() = default;

void Sha256::Add(const void* bytes, size_t size) {
  if (!state_->hash) return;
  auto* next = static_cast<UCHAR*>(const_cast<void*>(bytes));
  // BCrypt takes at most a ULONG of bytes a call.
  constexpr size_t kMostPerCall = size_t{1} << 30;
  while (size > 0) {
    const size_t piece = std::min(size, kMostPerCall);
    BCryptHashData(state_->hash, next, static_cast<ULONG>(piece), 0);
    next += piece;
    size -= piece;
  }
}

std::string Sha256::HexDigest() {
  UCHAR digest[32] = {};
  if (state_->hash) BCryptFinishHash(state_->hash, digest, sizeof digest, 0);
  return HexText(digest, sizeof digest);
}

}  // namespace q9::platform
