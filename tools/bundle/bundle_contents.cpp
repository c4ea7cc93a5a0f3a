#include "bundle/bundle_contents.h"

#include <algorithm>
#include <filesystem>

#include "base/exchange_folder.h"
#include "base/platform.h"
#include "base/process_state.h"
#include "base/recording.h"
#include "base/recording_switch.h"
#include "base/text.h"
#include "bundle/bundle_layout.h"
#include "common/files.h"

namespace q9x::bundle {

namespace {

struct ExchangeFile {
  const char16_t* name;
  MemberKind kind;
};
constexpr ExchangeFile kExchangeFiles[] = {{u"_model.pdx", MemberKind::Container},
                                           {u"_mod.sm", MemberKind::Container},
                                           {u"camera.cam", MemberKind::Record},
                                           {u"Views.cam", MemberKind::Record},
                                           {u"_mod.sync", MemberKind::Text}};

std::filesystem::path FsPath(const std::u16string& path) {
#ifdef _WIN32
  return std::filesystem::path(path);
#else
  return std::filesystem::path(q9::platform::DisplayPath(path));
#endif
}

// Whether a folder stands at a path the system spells (backslashes mapped on the native build).
bool FolderAt(const std::u16string& path) {
  std::error_code error;
  return std::filesystem::is_directory(FsPath(path), error);
}

// Adds the file at `path` as `member`, or says why it is absent.
void AddFile(Contents& contents, std::string member, const std::u16string& path, MemberKind kind) {
  if (!q9::platform::PathExists(path)) {
    contents.absent.push_back({member, "not there (" + q9::platform::DisplayPath(path) + ")"});
    return;
  }
  q9::platform::FileError error;
  q9::platform::UniqueFile file = q9::platform::OpenFile(path, "rb", &error);
  if (FolderAt(path)) {
    contents.absent.push_back({member, "a folder stands in its place"});
  } else if (!file) {
    contents.absent.push_back({member, "cannot be read: " + error.text});
  } else {
    const int64_t size = q9::platform::FileLength(file.get());
    contents.members.push_back({std::move(member), path, kind, std::max<int64_t>(size, 0)});
  }
}

const ExchangeFile* ExchangeFileNamed(std::string_view name) {
  for (const ExchangeFile& file : kExchangeFiles) {
    if (q9::Utf8FromUtf16(file.name) == name) return &file;
  }
  return nullptr;
}

// The names in a folder, sorted; an unreadable folder has none.
std::vector<std::string> Children(const std::u16string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(FsPath(folder), error)) {
    names.push_back(q9::Utf8FromUtf16(entry.path().filename().u16string()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

void AddStep(Contents& contents, const std::u16string& folder, const std::string& prefix,
             size_t& strays) {
  for (const std::string& name : Children(folder)) {
    const ExchangeFile* file = ExchangeFileNamed(name);
    if (!file) {
      ++strays;
      continue;
    }
    AddFile(contents, prefix + name, q9::FolderFilePath(folder, file->name), file->kind);
  }
}

void AddRecording(Contents& contents, const std::u16string& recording) {
  size_t strays = 0;
  for (const std::string& session : Children(recording)) {
    const std::u16string sessionFolder = q9::FolderFilePath(recording, q9::Utf16FromUtf8(session));
    if (!IsSessionName(session) || !FolderAt(sessionFolder)) {
      ++strays;
      continue;
    }
    const std::string prefix = std::string(kRecordingFolder) + session + "/";
    for (const std::string& name : Children(sessionFolder)) {
      const std::u16string path = q9::FolderFilePath(sessionFolder, q9::Utf16FromUtf8(name));
      if (name == q9::Utf8FromUtf16(q9::Recording::kRequestsFile) ||
          name == q9::Utf8FromUtf16(q9::Recording::kStartupModelDigestFile)) {
        AddFile(contents, prefix + name, path, MemberKind::Text);
      } else if (IsStepName(name) && FolderAt(path)) {
        AddStep(contents, path, prefix + name + "/", strays);
      } else {
        ++strays;
      }
    }
  }
  if (strays == 1) {
    contents.absent.push_back({"recording", "1 entry of the recording folder that is no part of a "
                                            "recording, left out unnamed"});
  } else if (strays > 1) {
    contents.absent.push_back({"recording", std::to_string(strays) +
                                                " entries of the recording folder that are no "
                                                "part of a recording, left out unnamed"});
  }
}

// The recording folder the switch names; empty, with the reason in `absent`, when there is none.
std::u16string SwitchedRecording(Contents& contents) {
  const std::u16string path = q9::FolderFilePath(contents.folder, q9::RecordingSwitch::kFileName);
  const std::string shown = q9::platform::DisplayPath(path);
  if (!q9::platform::PathExists(path)) {
    contents.absent.push_back({"recording", "recording is off (no " + shown + ")"});
    return {};
  }
  const Outcome<std::string> text =
      ReadWholeFile(q9::Utf8FromUtf16(path), q9::RecordingSwitch::kMostBytes, "a switch may have");
  if (!text) {
    contents.absent.push_back({"recording", "the switch " + text.failure().reason});
    return {};
  }
  std::string problem;
  const std::optional<q9::RecordingSwitch> recordingSwitch = q9::ParseRecordingSwitch(*text, problem);
  if (!recordingSwitch) {
    contents.absent.push_back({"recording", "the switch " + shown + " cannot be read: " + problem});
    return {};
  }
  return recordingSwitch->folder;
}

}  // namespace

Contents FindContents(const ContentsOptions& options) {
  Contents contents;
  q9::ProcessState process;
  if (options.folder) process.exchangeFolder.Fix(*options.folder);
  contents.folder = process.folder();
  for (const ExchangeFile& file : kExchangeFiles) {
    AddFile(contents, q9::Utf8FromUtf16(file.name), q9::FolderFilePath(contents.folder, file.name),
            file.kind);
  }
  AddFile(contents, std::string(kLogName), process.log.LogPath(), MemberKind::Text);
  AddFile(contents, std::string(kLogBackupName), process.log.BackupPath(), MemberKind::Text);

  contents.recording = options.recording ? *options.recording : SwitchedRecording(contents);
  if (contents.recording.empty()) return contents;
  if (!FolderAt(contents.recording)) {
    contents.absent.push_back({"recording", "the recording folder " +
                                                q9::platform::DisplayPath(contents.recording) +
                                                " is not there"});
    contents.recording.clear();
    return contents;
  }
  AddRecording(contents, contents.recording);
  return contents;
}

}  // namespace q9x::bundle
