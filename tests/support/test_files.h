// Files and folders for tests: a private temporary folder wiped at the end of each test, and
// whole-file reads and writes through the same platform layer the product uses.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace q9::test {

// A new empty folder below the system's temporary folder, removed with its content on
// destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder as the system spells paths: backslash-separated on Windows; on the native
  // build the platform layer maps the backslashes that callers append.
  const std::u16string& path() const { return path_; }
  // path() + "\" + name.
  std::u16string File(std::u16string_view name) const;

 private:
  std::u16string path_;
};

// The whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::u16string& path);
bool FileExists(const std::u16string& path);
void WriteFileBytes(const std::u16string& path, std::string_view bytes);
void MakeFolder(const std::u16string& path);
// The names of the files and folders directly in a folder, sorted.
std::vector<std::string> FolderEntryNames(const std::u16string& folder);
// The messages of the log at `logPath`, line by line, each without its "[time stamp]: ". The
// line that times each request ("Note: request 1027 (model update) done in ...") is left out
// unless `withTimings`: the other lines and their order are what most tests check.
std::vector<std::string> LogMessages(const std::u16string& logPath, bool withTimings = false);
// Whether a log message is the line that times a request.
bool IsRequestTiming(const std::string& message);
// The lines of a text that ends its lines with LF or CR LF, without their ends; a text that
// ends with a line end has no empty line after it.
std::vector<std::string> TextLines(const std::string& text);

}  // namespace q9::test
