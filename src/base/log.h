// The log: timestamped lines appended to "Q9_Log.log" in the exchange folder by every process of
// the system, rotated to "Q9_Log.logOld" once it has grown beyond 100 000 bytes. Each line is
// one append that the operating system places at the end of the file, so lines of processes
// writing at the same time never overwrite each other. A line that cannot reach the log goes to
// standard error.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace q9 {

class LogWriter {
 public:
  // `folder` gives the exchange folder each time a line is written.
  explicit LogWriter(std::function<std::u16string()> folder);
  // A writer that writes no line anywhere, for a process whose lines nobody reads (the fuzz
  // targets); its LogPath() is empty.
  static LogWriter Discarding() { return LogWriter(nullptr); }

  // Narrow line: "[YYYY. MM. DD - hh:mm:ss]: message", UTC, CR LF.
  void WriteLine(std::string message);
  // Wide line: "[YYYY/MM/DD hh:mm:ss]: message", UTC, CR LF. A message whose characters all lie
  // in U+0000..U+00FF is written one byte per character; any other message is written as UTF-8.
  void WriteLineW(std::u16string message);

  // The log file: the folder followed directly by "Q9_Log.log", with no separator.
  std::u16string LogPath() const;
  // Where a rotation moves the log: LogPath() followed by "Old"; empty when LogPath() is.
  std::u16string BackupPath() const;

 private:
  // Before the first line of each writer: a log beyond 100 000 bytes becomes the backup
  // "Q9_Log.logOld" and the log is started anew. Safe while other processes write and rotate.
  void RotateOnce(bool& sizeTested);
  // One line in one append at the end of the log; standard error when the log cannot be
  // written. When the log took only the first bytes of a line (a full disk), the next line that
  // reaches it starts with a line end of its own, so the cut piece stays a line by itself.
  void Append(const char* timestampFormat, const std::string& messageBytes);

  std::function<std::u16string()> folder_;
  bool narrowLogSizeTested = false;
  bool wideLogSizeTested = false;
  bool toldLogFailure_ = false;
  bool lineCutShort_ = false;  // the last line reached the log only in part, without its end
};

// Size of a file in bytes as a 32-bit number, 0 when it cannot be opened.
int32_t LogFileSize(const std::u16string& path);

}  // namespace q9
