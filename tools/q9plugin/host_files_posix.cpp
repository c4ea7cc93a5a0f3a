// Native build: the process environment and POSIX files; "\" in a path is read as "/".
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/text.h"
#include "host_files.h"

namespace q9plugin {

namespace {

std::string NativePath(const std::u16string& path) {
  std::string native = q9::Utf8FromUtf16(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

bool WriteAll(std::FILE* file, std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
         std::fflush(file) == 0;
}

}  // namespace

std::optional<std::u16string> ReadEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return q9::Utf16FromUtf8(value);
}

bool AppendToFile(const std::u16string& path, std::string_view bytes) {
  UniqueFile file(std::fopen(NativePath(path).c_str(), "ab"));
  return file && WriteAll(file.get(), bytes);
}

bool ReplaceWholeFile(const std::u16string& path, std::string_view bytes) {
  const std::string target = NativePath(path);
  // One temporary name per process, so that two processes saving the same archive do not write
  // into each other's temporary file.
  const std::string temporary = target + "." + std::to_string(::getpid()) + ".tmp";
  {
    UniqueFile file(std::fopen(temporary.c_str(), "wb"));
    if (!file) return false;
    if (!WriteAll(file.get(), bytes)) {
      file.reset();
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace q9plugin
