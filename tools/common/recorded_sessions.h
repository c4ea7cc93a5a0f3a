// The sessions of a recording folder as `q9x record status`, `q9x bundle` and `q9x replay` see
// them: each session folder the working instance made (docs/recording.md), its steps as
// "requests.jsonl" lists them, and the bytes it holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace q9x {

struct RecordedStep {
  uint32_t step = 0;
  std::string folder;   // "0003-1027"
  std::string time;     // UTC, as the line gives it
  std::string request;  // "model update"
  std::string outcome;  // "done" or "failed"
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
// or that are no step's line, are counted in unreadLines and passed over.
std::vector<RecordedSession> ListRecordedSessions(const std::string& folder);

}  // namespace q9x
