// What a support bundle holds, found before anything is written: the exchange files, the log and
// its backup, and the recording, each from the place the system itself uses, and nothing else.
// Each expected file that is not there, or is left out, is named with the reason.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace q9x::bundle {

// How a member's names are found and replaced by --anonymise.
enum class MemberKind {
  Container,  // "_model.pdx", "_mod.sm": the container's fields (name_sites.h)
  Record,     // "camera.cam", "Views.cam": the record keys that hold names
  Text,       // the log, "_mod.sync", "requests.jsonl": names where they stand in the text
};

struct Source {
  std::string member;   // its name in the bundle, "/" between folders
  std::u16string path;  // the file, as the system spells its path
  MemberKind kind;
  int64_t size = 0;     // when it was found
};

struct Absent {
  std::string name;  // a member's name, or what was looked for ("recording")
  std::string reason;
};

struct Contents {
  std::u16string folder;     // the exchange folder; empty: the working folder, as the system
  std::u16string recording;  // the recording folder, or empty
  std::vector<Source> members;
  std::vector<Absent> absent;
};

struct ContentsOptions {
  std::optional<std::u16string> folder;     // --folder: else the system's own lookup
  std::optional<std::u16string> recording;  // --recording: else the switch's folder, if any
};

// The files of the exchange folder (found as the system finds it), in this order: "_model.pdx",
// "_mod.sm", "camera.cam", "Views.cam", "_mod.sync", the log "Q9_Log.log" and its backup
// "Q9_Log.logOld" (where the system writes them: the folder's text followed directly by the
// file name), then the recording, as recording/SESSION/requests.jsonl and
// recording/SESSION/STEP/FILE. Of the recording folder only what its layout holds is taken
// (sessions "YYYYMMDD-hhmmss-PID", their "requests.jsonl", steps "NNNN-startup" and
// "NNNN-MESSAGE" with the exchange files' names); anything else there is counted in one Absent
// entry, never named. The recording folder is the switch's "folder" ("Q9_Recording.json" in the
// exchange folder) unless `options.recording` names one.
Contents FindContents(const ContentsOptions& options);

}  // namespace q9x::bundle
