#include "base/log.h"

#include <cstdio>
#include <ctime>
#include <random>

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

std::u16string LogWriter::LogPath() const { return folder_() + u"Q9_Log.log"; }

int32_t LogFileSize(const std::u16string& path) {
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return 0;
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return 0;
  const long size = std::ftell(file.get());
  return size < 0 ? 0 : static_cast<int32_t>(size);
}

namespace {

// A name beside the log that no other process or writer uses now.
std::u16string RotatingPath(const std::u16string& logPath) {
  std::random_device random;
  const std::string suffix = "." + std::to_string(platform::ProcessNumber()) + "-" +
                             std::to_string(random()) + ".rotating";
  return logPath + Utf16FromBytes(suffix);
}

// The whole file as bytes; false when it cannot be read.
bool ReadWhole(const std::u16string& path, std::string& bytes) {
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return false;
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, got);
  return !std::ferror(file.get());
}

// Puts a log that was taken aside back where it was. When a log has been started anew in the
// meantime its lines stay and the taken lines are appended behind them: no line is lost, only
// their order differs.
void PutBack(const std::u16string& taken, const std::u16string& logPath) {
  if (platform::RenameFile(taken, logPath, /*replace=*/false)) return;
  std::string bytes;
  if (!ReadWhole(taken, bytes)) return;  // the lines stay in the taken file
  if (bytes.empty() || platform::AppendToFile(logPath, bytes)) platform::RemovePath(taken);
}

}  // namespace

// The steps, ordered for several processes that write and rotate at the same time:
// 1. The log is renamed to a name of this writer's own, in one step. Of writers rotating at
//    once only one finds the log there; the others' rename fails and they leave it. A line that
//    another process appends meanwhile goes either into the renamed file (its handle was opened
//    before) or into a log started anew (opened after): both are kept.
// 2. Only a file beyond the limit becomes the backup. A smaller one is a log that another writer
//    started anew after this writer measured the old one: it goes back, so that the fresh backup
//    of the other writer's rotation is not replaced by it.
// 3. The backup is replaced by the renamed log in one step; when that fails, what stands at the
//    backup path (a file, or an empty folder) is removed and the rename tried once more. When
//    that is impossible too the renamed log goes back.
void LogWriter::RotateOnce(bool& sizeTested) {
  if (sizeTested) return;
  sizeTested = true;
  const std::u16string logPath = LogPath();
  if (LogFileSize(logPath) <= kRotateAbove) return;
  const std::u16string taken = RotatingPath(logPath);
  if (!platform::RenameFile(logPath, taken, /*replace=*/true)) return;
  if (LogFileSize(taken) > kRotateAbove) {
    const std::u16string backupPath = logPath + u"Old";
    if (platform::RenameFile(taken, backupPath, /*replace=*/true)) return;
    if (platform::RemovePath(backupPath) &&
        platform::RenameFile(taken, backupPath, /*replace=*/true)) {
      return;
    }
  }
  PutBack(taken, logPath);
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
  const std::u16string logPath = LogPath();
  std::string error;
  if (platform::AppendToFile(logPath, stored, &error)) return;

  // The line reaches standard error instead, where the process has one; the first time with
  // the reason the log cannot be written.
  if (!toldLogFailure_) {
    toldLogFailure_ = true;
    const std::string told = "Error: the log \"" + platform::DisplayPath(logPath) +
                             "\" could not be written: " + error + "\n";
    std::fwrite(told.data(), 1, told.size(), stderr);
  }
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void LogWriter::WriteLine(std::string message) {
  RotateOnce(narrowLogSizeTested);
  Append("%Y. %m. %d - %H:%M:%S", UpToZero(std::move(message)));
}

void LogWriter::WriteLineW(std::u16string message) {
  RotateOnce(wideLogSizeTested);
  Append("%Y/%m/%d %H:%M:%S", UpToZero(MessageBytes(message)));
}

}  // namespace q9
