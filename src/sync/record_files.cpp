#include "sync/record_files.h"

#include "base/platform.h"
#include "records/record_reader.h"

namespace q9 {

bool ReadHostRecordFile(ProcessState& process, std::u16string_view fileName, std::u16string& text) {
  const std::u16string path = FolderFilePath(process.folder(), fileName);
  const std::string shownPath = "record file \"" + platform::DisplayPath(path) + "\"";
  platform::FileError failure;
  std::chrono::milliseconds waited{0};
  // The host may still hold the file without sharing it: waited for, briefly.
  Recording& recording = process.recording;
  std::function<void(std::FILE*)> keep;
  if (recording.recording()) keep = [&](std::FILE* file) { recording.KeepOpenFile(fileName, file); };
  const auto attempt = [&](platform::FileError& error) {
    return ReadRecordFile(path, text, &error, keep);
  };
  if (!process.fileInUseWait.Run(attempt, failure, &waited)) {
    std::string reason;
    if (failure.sharingViolation) {
      reason = process.fileInUseWait.GaveUpText(waited, failure);
    } else if (!platform::PathExists(path)) {
      reason = "it does not exist";
      recording.NoteMissing(fileName);
    } else if (platform::CheckFolder(path) != platform::FolderState::NotAFolder) {
      reason = "it is a folder";
    } else {
      reason = failure.text.empty() ? "it could not be read" : failure.text;
    }
    process.log.WriteLine("Error: " + shownPath + " could not be read: " + reason);
    return false;
  }
  if (FileInUseWait::WorthNoting(waited)) {
    process.log.WriteLine("Note: " + shownPath + " was in use by another process; read after " +
                          std::to_string(waited.count()) + " ms");
  }
  if (text.empty()) process.log.WriteLine("Warning: " + shownPath + " is empty");
  return true;
}

}  // namespace q9
