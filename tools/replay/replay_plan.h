// What a replay runs: the steps of a recorded session, each with the files it read as kept, or,
// without a recording, the requests of the log's last working session against the files as they
// are (an approximate replay, which says why).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/recorded_sessions.h"
#include "replay/request_log.h"

namespace q9x {

// A file a recorded step read.
struct ReplayFile {
  std::string name;  // one of the exchange files ("_mod.sm"), checked
  std::string copy;  // the kept bytes' path; empty when they were not kept
  int64_t size = -1;     // -1: the request found no such file
  std::string sha256;    // as the recording gives it; may be empty
  std::string reason;    // why not kept (the recording's words, or the replay's)
};

struct ReplayStep {
  uint64_t number = 0;              // the journal's "step"
  std::optional<uint32_t> message;  // none: the start-up load
  std::string word;                 // the command word that asks for it; may be empty
  std::string request;              // "model update"
  std::string time;                 // when it started (recording) or its line's time (log), UTC
  std::string outcome;              // the customer's: "done", "failed"; empty when not known
  std::optional<RequestDurations> durations;  // the customer's
  std::vector<ReplayFile> files;    // recording only
};

struct ReplayPlan {
  bool recorded = false;    // from a recording; else from the log, approximate
  std::string source;       // the session's folder, or the log
  std::string session;      // the session's name; empty for a log
  std::optional<std::string> startWord;  // the working instance's command word
  std::vector<ReplayStep> steps;         // the start-up load first, numbered upwards
  // What the replay cannot reproduce exactly, one sentence each (a step not recorded, a file
  // whose bytes were not kept, the log's requests run against today's files).
  std::vector<std::string> notes;
};

// The steps of `session` in their order. A line whose step number is not above the one before,
// or whose message is none of the requests, is passed over with a note; so is a step folder or a
// file name other than the recording's own (a name is never made into a path unless it is one
// of the exchange files, in the step's own folder). A session without its start-up step gets
// one that loads "_model.pdx" as it is, with a note.
ReplayPlan PlanFromRecording(const RecordedSession& session);

// The requests of `session` (the log at `logPath`), each a step; always approximate.
ReplayPlan PlanFromLog(const LoggedSession& session, const std::string& logPath);

}  // namespace q9x
