// Folders, on both builds through the standard library's file system functions: only the
// spelling of a path differs (platform_file_system.h).
#include <system_error>

#include "base/platform.h"
#include "base/platform_file_system.h"

namespace q9::platform {

namespace {

// The standard library's error as the seam reports one: its code and its own text, whichever
// category (the system's, or the C runtime's) it came from.
FileError ErrorOf(const std::error_code& failure) {
  if (!failure) return FileError{0, "unknown error", false};
  return FileError{static_cast<uint32_t>(failure.value()), failure.message(), false};
}

}  // namespace

bool CreateFolders(const std::u16string& path, FileError* error) {
  std::error_code failure;
  const std::filesystem::path folder = FileSystemPath(path);
  std::filesystem::create_directories(folder, failure);
  std::error_code ignored;
  if (std::filesystem::is_directory(folder, ignored)) return true;
  if (error) *error = ErrorOf(failure);
  return false;
}

std::vector<FolderEntry> ListFolder(const std::u16string& path) {
  std::vector<FolderEntry> entries;
  std::error_code failure;
  std::filesystem::directory_iterator entry(FileSystemPath(path), failure);
  for (; !failure && entry != std::filesystem::directory_iterator(); entry.increment(failure)) {
    FolderEntry listed;
    listed.name = entry->path().filename().u16string();
    std::error_code ignored;
    listed.isFolder = entry->is_directory(ignored);
    if (!listed.isFolder) {
      const uintmax_t size = entry->file_size(ignored);
      listed.size = ignored ? 0 : static_cast<int64_t>(size);
    }
    entries.push_back(std::move(listed));
  }
  return entries;
}

bool RemoveTree(const std::u16string& path) {
  std::error_code failure;
  const std::filesystem::path target = FileSystemPath(path);
  std::filesystem::remove_all(target, failure);
  std::error_code ignored;
  return !std::filesystem::exists(std::filesystem::symlink_status(target, ignored));
}

bool LinkFile(const std::u16string& existing, const std::u16string& link, FileError* error) {
  std::error_code failure;
  std::filesystem::create_hard_link(FileSystemPath(existing), FileSystemPath(link), failure);
  if (!failure) return true;
  if (error) *error = ErrorOf(failure);
  return false;
}

}  // namespace q9::platform
