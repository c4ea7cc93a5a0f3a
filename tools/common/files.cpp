#include "common/files.h"

#include <algorithm>
#include <filesystem>

#include "base/platform.h"
#include "base/text.h"

namespace q9x {

namespace {

Failure TooLarge(const std::string& path, uint64_t bytes, uint64_t limit, std::string_view what) {
  return {FailureKind::File, path + ": " + std::to_string(bytes) + " bytes, more than " +
                                 std::string(what) + " (" + std::to_string(limit) + ")"};
}

}  // namespace

Outcome<std::string> ReadWholeFile(const std::string& path, uint64_t limit, std::string_view what) {
  const Failure unreadable{FailureKind::File, "cannot read " + path};
  // A folder opens for reading on some systems and then reads as nothing.
  if (IsFolder(path)) return unreadable;
  q9::platform::UniqueFile file = q9::platform::OpenFile(q9::Utf16FromUtf8(path), "rb");
  if (!file) return unreadable;
  const int64_t length = q9::platform::FileLength(file.get());
  if (length >= 0) {
    if (!q9::platform::SeekFile(file.get(), 0)) return unreadable;
    if (static_cast<uint64_t>(length) > limit) {
      return TooLarge(path, static_cast<uint64_t>(length), limit, what);
    }
  }
  std::string bytes;
  bytes.reserve(static_cast<size_t>(std::max<int64_t>(length, 0)));
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    // Without a length (a pipe), or past the one measured (a file still being written).
    if (got > limit - bytes.size()) return TooLarge(path, bytes.size() + got, limit, what);
    bytes.append(buffer, got);
  }
  if (std::ferror(file.get())) return unreadable;
  return bytes;
}

bool IsFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(std::filesystem::path(q9::Utf16FromUtf8(path)), error);
}

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
  q9::platform::UniqueFile file = q9::platform::OpenFile(q9::Utf16FromUtf8(path), "wb");
  if (!file) return false;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return false;
  return std::fflush(file.get()) == 0;
}

std::string FolderOf(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

std::string ResolvePath(const std::string& folder, const std::string& path) {
  const bool absolute = (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
                        (path.size() > 1 && path[1] == ':');
  if (absolute || folder.empty()) return path;
  return folder + "/" + path;
}

}  // namespace q9x
