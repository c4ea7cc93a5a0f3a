// The requests of a log, as its lines tell them: the last working session (from its "Init Start"
// line), the command word it was started with, and each request it handled, from the timed
// "Note:" line every request ends with, or, in a log written before those lines, from the
// forwarded command words and the "Sync Model state 1 _ Start" lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.h"
#include "common/recorded_sessions.h"

namespace q9x {

// One request as a log line tells it.
struct LoggedRequest {
  std::optional<uint32_t> message;  // none: the start-up load
  std::string name;                 // "model update"
  std::string outcome;              // "done" or "failed"; empty when the line does not say
  std::optional<RequestDurations> durations;  // from a timed line only
  std::string time;  // the line's time stamp, ISO 8601 UTC to the second; empty when it has none
};

// A timed line: "Note: request 1027 (model update) done in 1 204 ms: files 35 ms, link library
// 361 ms, ..." or "Note: start-up load failed in ...". Nothing for any other message. The
// numbers are bounded (at most 18 digits, a message 1025 to 1029).
std::optional<LoggedRequest> ParseTimedLine(std::string_view message);

struct LoggedSession {
  std::string word;       // the command word of the "Args - " start before "Init Start"
  std::string startTime;  // of the "Init Start" line
  // The start-up load first when its line is there, then the requests in order.
  std::vector<LoggedRequest> requests;
  bool timed = false;     // the requests come from timed lines; else from the older lines
  uint64_t linesSkipped = 0;  // lines longer than kLongestLogLine
};

// A log line longer than this is no line the system writes; it is passed over.
inline constexpr size_t kLongestLogLine = size_t{64} << 10;
// At most this many requests of a session are kept; the rest are counted in linesSkipped.
inline constexpr size_t kMostLoggedRequests = 100000;

// The last working session of the log at `path`: nothing when the log holds no "Init Start"
// line. Failures: the log cannot be read ("cannot read PATH"). Memory: one line and the session's
// requests, however long the log.
Outcome<std::optional<LoggedSession>> ReadLoggedSession(const std::string& path);

}  // namespace q9x
