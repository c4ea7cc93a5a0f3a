#include "test_files.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>

#include "base/platform.h"
#include "base/text.h"

namespace q9::test {

namespace fs = std::filesystem;

namespace {

fs::path FsPath(const std::u16string& path) {
#ifdef _WIN32
  return fs::path(path);
#else
  std::u16string mapped = path;
  for (char16_t& c : mapped) {
    if (c == u'\\') c = u'/';
  }
  return fs::path(Utf8FromUtf16(mapped));
#endif
}

}  // namespace

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path folder = fs::temp_directory_path() /
                          ("q9test-" + std::to_string(random()) + "-" + std::to_string(stamp) +
                           "-" + std::to_string(counter++));
  fs::create_directories(folder);
  path_ = folder.u16string();
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(FsPath(path_), ignored);
}

std::u16string TempFolder::File(std::u16string_view name) const {
  return path_ + u"\\" + std::u16string(name);
}

std::string ReadFileBytes(const std::u16string& path) {
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return {};
  std::string bytes;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, got);
  return bytes;
}

bool FileExists(const std::u16string& path) { return fs::exists(FsPath(path)); }

void WriteFileBytes(const std::u16string& path, std::string_view bytes) {
  platform::UniqueFile file = platform::OpenFile(path, "wb");
  if (file) std::fwrite(bytes.data(), 1, bytes.size(), file.get());
}

void MakeFolder(const std::u16string& path) { fs::create_directories(FsPath(path)); }

std::vector<std::string> FolderEntryNames(const std::u16string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(FsPath(folder), error)) {
    names.push_back(Utf8FromUtf16(entry.path().filename().u16string()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool IsRequestTiming(const std::string& message) {
  return (message.starts_with("Note: request ") || message.starts_with("Note: start-up load ")) &&
         message.find(" ms: files ") != std::string::npos;
}

std::vector<std::string> LogMessages(const std::u16string& logPath, bool withTimings) {
  std::vector<std::string> messages;
  const std::string bytes = ReadFileBytes(logPath);
  for (size_t start = 0; start < bytes.size();) {
    size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(start, end - start);
    const size_t stamp = line.find("]: ");
    std::string message = stamp == std::string::npos ? line : line.substr(stamp + 3);
    if (withTimings || !IsRequestTiming(message)) messages.push_back(std::move(message));
    start = end + 2;
  }
  return messages;
}

std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (end < text.size() && !line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace q9::test
