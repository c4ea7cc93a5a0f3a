// The sessions of a recording folder as `q9x record status`, `q9x bundle` and `q9x replay` see
// them: each session folder the working instance made (docs/recording.md), its steps as
// "requests.jsonl" lists them, and the bytes it holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace q9x {

// A file a step looked for, as its line lists it. The name is the line's, not checked.
struct RecordedFile {
  std::string name;      // "_mod.sm"
  int64_t size = -1;     // -1: the request found no such file
  std::string sha256;    // empty when not given
  bool kept = false;     // its bytes are in the step's folder
  std::string reason;    // why not kept
};

// The request's durations of its "Note:" line, in milliseconds.
struct RequestDurations {
  int64_t totalMs = 0;
  int64_t filesMs = 0;
  int64_t linkMs = 0;
};

struct RecordedStep {
  uint32_t step = 0;
  std::string folder;   // "0003-1027"
  std::string time;     // UTC, as the line gives it
  std::optional<uint32_t> message;  // none for the start-up load (or a line without one)
  std::string word;     // the command word that asks for it; empty when null
  bool colorMode = false;
  std::string request;  // "model update"
  std::string outcome;  // "done" or "failed"
  std::optional<RequestDurations> durations;  // when the line gives all three
  std::vector<RecordedFile> files;
  bool allKept = true;  // every file the step read was kept
};

struct RecordedSession {
  std::string name;  // "20261210-130509-4242"
  std::string path;  // the session's folder
  std::vector<RecordedStep> steps;
  int64_t bytes = 0;  // everything in the session's folder
  uint32_t unreadLines = 0;  // lines of "requests.jsonl" that are not a step's
};

// Every session folder in `folder`, oldest first. Lines of "requests.jsonl" longer than 1 MiB,
// that are no step's line, or beyond the first 1 000 000 steps, are counted in unreadLines and
// passed over; a member of the wrong type counts as absent.
std::vector<RecordedSession> ListRecordedSessions(const std::string& folder);

}  // namespace q9x
