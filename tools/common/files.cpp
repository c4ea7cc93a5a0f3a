#include "common/files.h"

#include <filesystem>

#include "base/platform.h"
#include "base/text.h"

namespace q9x {

std::optional<std::string> ReadWholeFile(const std::string& path) {
  q9::platform::UniqueFile file = q9::platform::OpenFile(q9::Utf16FromUtf8(path), "rb");
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, got);
  if (std::ferror(file.get())) return std::nullopt;
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
