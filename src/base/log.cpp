#include "base/log.h"

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

std::u16string LogWriter::LogPath() const { return folder_() + u"Q9_Log.log"; }

int32_t LogFileSize(const std::u16string& path) {
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return 0;
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return 0;
  const long size = std::ftell(file.get());
  return size < 0 ? 0 : static_cast<int32_t>(size);
}

void LogWriter::RotateOnce(bool& sizeTested) {
  if (sizeTested) return;
  const std::u16string logPath = LogPath();
  if (LogFileSize(logPath) > kRotateAbove) {
    const std::u16string backupPath = logPath + u"Old";
    if (platform::PathExists(backupPath)) platform::RemovePath(backupPath);
    // The log is started anew only once its content is safe in the backup; when the copy
    // fails the log keeps growing rather than losing what it holds.
    if (platform::CopyFileNoOverwrite(logPath, backupPath)) platform::RemovePath(logPath);
  }
  sizeTested = true;
}

void LogWriter::Append(const char* timestampFormat, const std::string& messageBytes) {
  std::optional<platform::TextFile> file =
      platform::TextFile::Open(LogPath(), platform::TextFile::Mode::Append);
  if (!file) return;

  const std::time_t now = std::time(nullptr);
  const std::tm* utc = std::gmtime(&now);
  std::string line;
  char timestamp[64];
  if (utc && std::strftime(timestamp, sizeof timestamp, timestampFormat, utc) > 0) {
    line = "[" + std::string(timestamp) + "]: " + messageBytes + "\n";
  } else {
    line = messageBytes + "\n";
  }
  file->Write(line);
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
