#include "sync/model_sync.h"

#include <cstdio>
#include <string>

#include "base/platform.h"
#include "sync/request_report.h"

namespace q9 {

namespace {

// The record is single-byte text: U+0000 to U+00FF are written as their code; any other
// character, a surrogate pair included, as one "?".
void AppendText(std::string& out, const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit == 0) break;  // the record's texts end at a zero, as the host reads them
    if (unit <= 0xFF) {
      out.push_back(static_cast<char>(unit));
      continue;
    }
    out.push_back('?');
    const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() &&
                      text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (pair) ++i;
  }
}

void AppendNumber(std::string& out, int32_t value) { out += std::to_string(value); }

}  // namespace

std::string SyncRecordText(const SceneContainer& container) {
  std::string text = "SourceProject: [";
  AppendText(text, container.currentSectionName);
  text += "]\n";
  for (const auto& [key, solid] : container.solids) {
    text += "ID3D: [";
    AppendNumber(text, solid.solidId);
    text += "] TimeStamp: [";
    AppendNumber(text, solid.timeStamp);
    text += "]\n";
  }
  for (const auto& [name, material] : container.materials) {
    text += "Material: [";
    AppendText(text, material.MaterialID_Name);
    text += "] TimeStamp: [";
    AppendNumber(text, material.nTimeID);
    text += "] MatIndex: [";
    AppendNumber(text, material._nMatDescIndex);
    text += "]\n";
  }
  return text;
}

bool loadStartupModel(SceneContainer& container) {
  // The working instance starts its work here: an unusable exchange folder is told once, then
  // the work goes on as it would (its file operations fail each in its own way).
  const std::string folderProblem = ExchangeFolderProblem(container.process.exchangeFolder);
  if (!folderProblem.empty()) container.process.log.WriteLine("Error: " + folderProblem);
  container.process.fileInUseWait.Renew();
  RequestReport report(container.process, std::nullopt);
  container.path = FolderFilePath(container.process.folder(), u"_model.pdx");
  container.loadHeader();
  // No handle is held while the link starts: that may wait for the user at a message box.
  container.Close();
  container.session.modelFilePath = container.entries[0].name();
  if (!container.session.Initialise()) {
    report.Finish(false);
    return false;
  }
  container.loadSection(0);
  container.session.SendToRenderer();
  report.Finish(true);
  return true;
}

bool modelSyncNotify(SceneContainer& container, const NotifyHost& notifyHost) {
  // A record that was not written is never reported as done: no notification, no state line.
  if (!writeSyncRecord(container)) return false;
  if (notifyHost) notifyHost();
  container.process.log.WriteLine("Sync Model state 0");
  return true;
}

void modelSyncApply(SceneContainer& container, bool withLog) {
  if (withLog) container.process.log.WriteLine("Sync Model state 1 _ Start");
  container.path = FolderFilePath(container.process.folder(), u"_mod.sm");
  container.applyChanges();
  container.loadSection(1);
  container.session.SendToRenderer();
  if (withLog) container.process.log.WriteLine("Sync Model state 1 _ End");
}

bool writeSyncRecord(const SceneContainer& container) {
  const std::u16string path = FolderFilePath(container.process.folder(), u"_mod.sync");
  // The earlier record goes first: if this one cannot be written, the host finds none rather
  // than one that looks current and is not.
  bool staleLeft = false;
  if (platform::PathExists(path) &&
      platform::CheckFolder(path) == platform::FolderState::NotAFolder) {
    staleLeft = !platform::RemovePath(path);
  }
  platform::FileError reason;
  std::optional<platform::TextFile> file;
  std::chrono::milliseconds waited{0};
  // The host may be reading the earlier record without sharing it: waited for, briefly.
  FileInUseWait& inUse = container.process.fileInUseWait;
  inUse.Run(
      [&](platform::FileError& error) {
        ScopedFileTime timed;
        file = platform::TextFile::Open(path, platform::TextFile::Mode::Replace, &error);
        return file.has_value();
      },
      reason, &waited);
  if (file && FileInUseWait::WorthNoting(waited)) {
    container.process.log.WriteLine("Note: sync record \"" + platform::DisplayPath(path) +
                                    "\" was in use by another process; written after " +
                                    std::to_string(waited.count()) + " ms");
  }
  bool written = false;
  if (file) {
    const std::string text = SyncRecordText(container);
    {
      ScopedFileTime timed;
      file->Write(text);
      written = file->Finish(&reason);
    }
    if (written && container.process.recording.recording()) {
      // Kept as the file holds it: every line end stored as CR LF.
      std::string stored;
      for (const char c : text) {
        if (c == '\n') stored += '\r';
        stored += c;
      }
      container.process.recording.KeepWritten(u"_mod.sync", stored);
    }
    // Half a record is no record.
    if (!written) staleLeft = !platform::RemovePath(path) && platform::PathExists(path);
  }
  if (written) return true;
  std::string message = "Error: sync record \"" + platform::DisplayPath(path) +
                        "\" could not be written: " +
                        (reason.sharingViolation ? inUse.GaveUpText(waited, reason) : reason.text) +
                        "; the host is not notified";
  if (staleLeft) message += "; the earlier record could not be removed and is out of date";
  container.process.log.WriteLine(message);
  return false;
}

}  // namespace q9
