#include "base/log.h"

#include <cstdio>
#include <ctime>

#include "base/platform.h"
#include "base/text.h"

namespace q9 {

namespace {

constexpr int32_t kRotateAbove = 100000;

// Bytes of a wide message: the default single-byte conversion where it can represent every
// character, UTF-8 otherwise (a line that a reader can still decode).
std::string MessageBytes(const std::u16string& message) {
  for (char16_t c : message) {
    if (c > 0xFF) return Utf8FromUtf16(message);
  }
  std::string bytes(message.size(), '\0');
  for (size_t i = 0; i < message.size(); ++i) bytes[i] = static_cast<char>(message[i]);
  return bytes;
}

// The message stops at its first zero, as a "%s" argument does.
std::string UpToZero(std::string text) {
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

}  // namespace

LogWriter::LogWriter(std::function<std::u16string()> folder) : folder_(std::move(folder)) {}

std::u16string LogWriter::LogPath() const {
  return folder_ ? folder_() + u"Q9_Log.log" : std::u16string();
}

std::u16string LogWriter::BackupPath() const {
  const std::u16string log = LogPath();
  return log.empty() ? log : log + u"Old";
}

int32_t LogFileSize(const std::u16string& path) {
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return 0;
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return 0;
  const long size = std::ftell(file.get());
  return size < 0 ? 0 : static_cast<int32_t>(size);
}

namespace {

// A lock left behind by a process that ended during its rotation is taken over after this long.
constexpr int64_t kStaleLockSeconds = 30;

}  // namespace

// Several processes write and rotate at the same time; the steps are ordered so that none loses
// a line or another's backup:
// 1. Only the writer that creates the lock file "Q9_Log.logLock" (created only where none
//    exists, in one step) rotates; the others leave the log as it is this time.
// 2. Under the lock the size is measured again: another writer may have rotated the log since
//    this one measured it, and a log started anew is never made the backup.
// 3. The log is renamed to the backup in one step, replacing the earlier backup. A line that
//    another process appends meanwhile goes either into the renamed file (its handle was opened
//    before) or into a log started anew (opened after): both are kept. When the rename fails,
//    what stands at the backup path (a file, or an empty folder) is removed and the rename tried
//    once more; when that fails too, the log stays as it is and keeps growing.
// 4. The lock is removed.
void LogWriter::RotateOnce(bool& sizeTested) {
  if (sizeTested) return;
  sizeTested = true;
  const std::u16string logPath = LogPath();
  if (LogFileSize(logPath) <= kRotateAbove) return;
  const std::u16string lockPath = logPath + u"Lock";
  if (!platform::CreateFileExclusive(lockPath)) {
    if (platform::FileAgeSeconds(lockPath) < kStaleLockSeconds) return;
    platform::RemovePath(lockPath);
    if (!platform::CreateFileExclusive(lockPath)) return;
  }
  if (LogFileSize(logPath) > kRotateAbove) {
    const std::u16string backupPath = BackupPath();
    if (!platform::RenameFile(logPath, backupPath, /*replace=*/true) &&
        platform::RemovePath(backupPath)) {
      platform::RenameFile(logPath, backupPath, /*replace=*/true);
    }
  }
  platform::RemovePath(lockPath);
}

void LogWriter::Append(const char* timestampFormat, const std::string& messageBytes) {
  const std::time_t now = std::time(nullptr);
  const std::tm* utc = std::gmtime(&now);
  std::string line;
  char timestamp[64];
  if (utc && std::strftime(timestamp, sizeof timestamp, timestampFormat, utc) > 0) {
    line = "[" + std::string(timestamp) + "]: " + messageBytes + "\n";
  } else {
    line = messageBytes + "\n";
  }
  // Line ends as a text-mode file stores them: every line feed becomes CR LF.
  std::string stored;
  stored.reserve(line.size() + 2);
  for (char c : line) {
    if (c == '\n') stored += '\r';
    stored += c;
  }
  // After a line that the log took only part of, the next line starts on a line of its own
  // rather than running on from the cut piece.
  const size_t prefix = lineCutShort_ ? 2 : 0;
  if (lineCutShort_) stored.insert(0, "\r\n");
  const std::u16string logPath = LogPath();
  platform::FileError error;
  size_t appended = 0;
  const bool written = platform::AppendToFile(logPath, stored, &error, &appended);
  if (written || appended > 0) lineCutShort_ = !written && appended != prefix;
  if (written) return;

  // The line reaches standard error instead, where the process has one; the first time with
  // the reason the log cannot be written.
  if (!toldLogFailure_) {
    toldLogFailure_ = true;
    std::string told = "Error: the log \"" + platform::DisplayPath(logPath) +
                       "\" could not be written: " + error.text;
    if (appended > prefix) {
      told += " (the line was cut after " + std::to_string(appended - prefix) + " of " +
              std::to_string(stored.size() - prefix) + " bytes)";
    }
    told += "\n";
    std::fwrite(told.data(), 1, told.size(), stderr);
  }
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void LogWriter::WriteLine(std::string message) {
  if (!folder_) return;
  RotateOnce(narrowLogSizeTested);
  Append("%Y. %m. %d - %H:%M:%S", UpToZero(std::move(message)));
}

void LogWriter::WriteLineW(std::u16string message) {
  if (!folder_) return;
  RotateOnce(wideLogSizeTested);
  Append("%Y/%m/%d %H:%M:%S", UpToZero(MessageBytes(message)));
}

}  // namespace q9
