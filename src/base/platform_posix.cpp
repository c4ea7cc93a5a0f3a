// Native build of the platform seam: POSIX files, the process environment, no registry.
#include <dlfcn.h>
#include <openssl/evp.h>
#include <link.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "base/platform.h"
#include "base/platform_file_system.h"
#include "base/text.h"

namespace q9::platform {

namespace {

std::string NativePath(const std::u16string& path) {
  std::string native = Utf8FromUtf16(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

// The reason of the runtime call that just failed; EIO when it set no errno.
FileError LastError() { return SystemError(errno != 0 ? static_cast<uint32_t>(errno) : EIO); }

}  // namespace

FileError SystemError(uint32_t code) {
  return FileError{code, std::strerror(static_cast<int>(code)), false};
}

UniqueFile OpenFile(const std::u16string& path, const char* mode, FileError* error) {
  errno = 0;
  UniqueFile file(std::fopen(NativePath(path).c_str(), mode));
  if (!file && error) *error = LastError();
  return file;
}

size_t ReadFromFile(std::FILE* file, void* buffer, size_t size, FileError* error) {
  errno = 0;
  const size_t got = std::fread(buffer, 1, size, file);
  if (got < size && std::ferror(file) && error) *error = LastError();
  return got;
}

bool WriteToFile(std::FILE* file, std::string_view bytes, FileError* error) {
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size()) return true;
  if (error) *error = LastError();
  return false;
}

bool FinishFile(UniqueFile file, FileError* error) {
  if (!file) return false;
  std::optional<FileError> failure;
  errno = 0;
  if (std::fflush(file.get()) != 0) failure = LastError();
  const bool failedBefore = std::ferror(file.get()) != 0;
  errno = 0;
  if (std::fclose(file.release()) != 0 && !failure) failure = LastError();
  if (!failure && !failedBefore) return true;
  if (error) *error = failure ? *failure : SystemError(EIO);
  return false;
}

std::optional<TextFile> TextFile::Open(const std::u16string& path, Mode mode, FileError* error) {
  UniqueFile file = OpenFile(path, mode == Mode::Append ? "ab" : "wb", error);
  if (!file) return std::nullopt;
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
  // The native runtime has no text mode: the line ends are made here as Windows stores them.
  std::string stored;
  stored.reserve(bytes.size() + 8);
  for (char c : bytes) {
    if (c == '\n') stored += '\r';
    stored += c;
  }
  FileError failure;
  if (!WriteToFile(file_.get(), stored, &failure) && !writeError_) writeError_ = failure;
}

bool SeekFile(std::FILE* file, int64_t offset, FileError* error) {
  errno = offset < 0 ? EINVAL : 0;
  if (offset >= 0 && ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0) return true;
  if (error) *error = LastError();
  return false;
}

int64_t FileLength(std::FILE* file) {
  if (::fseeko(file, 0, SEEK_END) != 0) return -1;
  return static_cast<int64_t>(::ftello(file));
}

FolderState CheckFolder(const std::u16string& path) {
  const std::string native = NativePath(path);
  struct stat status {};
  if (::stat(native.c_str(), &status) != 0) return FolderState::Missing;
  if (!S_ISDIR(status.st_mode)) return FolderState::NotAFolder;
  // Permission bits do not tell for root or for a read-only mount: a file that can be made can.
  std::string probe = native;
  if (!probe.empty() && probe.back() != '/') probe += '/';
  probe += ".q9_write_probe_XXXXXX";
  const int descriptor = ::mkstemp(probe.data());
  if (descriptor < 0) return FolderState::NotWritable;
  ::close(descriptor);
  ::unlink(probe.c_str());
  return FolderState::Usable;
}

bool CanReadAndWrite(const std::u16string& path) {
  return ::access(NativePath(path).c_str(), R_OK | W_OK) == 0;
}

bool PathExists(const std::u16string& path) {
  struct stat info;
  return ::stat(NativePath(path).c_str(), &info) == 0;
}

bool RemovePath(const std::u16string& path) {
  // remove() takes files and empty folders alike.
  return std::remove(NativePath(path).c_str()) == 0;
}

bool AppendToFile(const std::u16string& path, std::string_view bytes, FileError* error,
                  size_t* appended) {
  if (appended) *appended = 0;
  errno = 0;
  const int descriptor =
      ::open(NativePath(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (descriptor < 0) {
    if (error) *error = LastError();
    return false;
  }
  // One write: the kernel places it at the end of the file as it is at that moment.
  errno = 0;
  ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
  FileError writeError = LastError();
  if (written >= 0 && static_cast<size_t>(written) < bytes.size()) {
    // A file that took only part (a full disk, a size limit): the rest once more, which tells
    // why, or goes in if the room came back meanwhile.
    errno = 0;
    const ssize_t rest = ::write(descriptor, bytes.data() + written, bytes.size() - written);
    writeError = LastError();
    if (rest > 0) written += rest;
  }
  ::close(descriptor);
  if (appended) *appended = written > 0 ? static_cast<size_t>(written) : 0;
  if (written == static_cast<ssize_t>(bytes.size())) return true;
  if (error) *error = writeError;
  return false;
}

bool RenameFile(const std::u16string& from, const std::u16string& to, bool replace) {
  const std::string source = NativePath(from);
  const std::string target = NativePath(to);
  if (replace) return ::rename(source.c_str(), target.c_str()) == 0;
  // A hard link is made only where nothing exists yet; the old name then goes.
  if (::link(source.c_str(), target.c_str()) != 0) return false;
  ::unlink(source.c_str());
  return true;
}

bool CreateFileExclusive(const std::u16string& path) {
  const int descriptor =
      ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (descriptor < 0) return false;
  ::close(descriptor);
  return true;
}

int64_t FileAgeSeconds(const std::u16string& path) {
  struct stat status {};
  if (::stat(NativePath(path).c_str(), &status) != 0) return -1;
  return static_cast<int64_t>(::time(nullptr) - status.st_mtime);
}

int64_t FileSize(const std::u16string& path) {
  struct stat status {};
  if (::stat(NativePath(path).c_str(), &status) != 0) return -1;
  return static_cast<int64_t>(status.st_size);
}

std::optional<std::u16string> ReadEnvironment(const std::u16string& name, size_t bufferChars) {
  const char* value = std::getenv(Utf8FromUtf16(name).c_str());
  if (!value) return std::nullopt;
  std::u16string text = Utf16FromUtf8(value);
  if (text.size() + 1 > bufferChars) return std::nullopt;
  return text;
}

std::optional<std::u16string> ReadProcessEnvironment(const std::u16string& name) {
  const char* value = std::getenv(Utf8FromUtf16(name).c_str());
  if (!value) return std::nullopt;
  return Utf16FromUtf8(value);
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

std::optional<std::u16string> ReadUserRegistryText(const std::u16string&, const std::u16string&,
                                                   uint32_t) {
  return std::nullopt;
}

void ModuleCloser::operator()(void* module) const noexcept {
  if (module) ::dlclose(module);
}

UniqueModule LoadModule(const std::u16string& path, std::string* error) {
  ::dlerror();
  UniqueModule module(::dlopen(NativePath(path).c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!module && error) {
    const char* reason = ::dlerror();
    *error = reason ? reason : "the library could not be loaded";
  }
  return module;
}

void* ModuleSymbol(void* module, const char* name) {
  return module ? ::dlsym(module, name) : nullptr;
}

std::u16string ModuleFilePath(void* module) {
  const ::link_map* map = nullptr;
  if (!module || ::dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return {};
  return Utf16FromUtf8(map->l_name);
}

bool KeepWorkingFolderOutOfLibrarySearch(std::string*) { return true; }

std::u16string DefaultLinkLibraryPath() { return {}; }

void ShowErrorMessage(const std::u16string& caption, const std::u16string& text) {
  std::fprintf(stderr, "%s\n%s\n", Utf8FromUtf16(caption).c_str(), Utf8FromUtf16(text).c_str());
  std::fflush(stderr);
}

std::string DisplayPath(const std::u16string& path) { return NativePath(path); }

std::filesystem::path FileSystemPath(const std::u16string& path) {
  return std::filesystem::path(NativePath(path));
}

struct Sha256::State {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr);
}

Sha256::~Sha256() = default;

void Sha256::Add(const void* bytes, size_t size) { EVP_DigestUpdate(state_->context, bytes, size); }

std::string Sha256::HexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(state_->context, digest, &length);
  return HexText(digest, length);
}

}  // namespace q9::platform
