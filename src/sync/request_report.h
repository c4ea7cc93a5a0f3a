// One request as the log and the recording tell it. Made when the request begins, it starts
// the request's step of the recording; Finish writes, after the request's own lines, one line
// with the outcome and where the time went, and ends the step:
//   Note: request 1027 (model update) done in 412 ms: files 35 ms, link library 361 ms,
//   1 204 solids sent
//   Note: start-up load done in 5 230 ms: files 1 020 ms, link library 3 900 ms, 100 000 solids sent
// "files" is the time spent opening, reading and writing the request's files, "link library" the
// time inside the library's calls (request_tally.h); the rest went into reading and translating.
// The solids are counted for the requests that send them (the start-up load, 1027 and 1028).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/process_state.h"
#include "base/request_tally.h"

namespace q9 {

// What the log and the recording call a request: "start-up load" (no message), "camera sync",
// "model sync", "model update", "light sync", "views sync"; "request" for another message.
std::string_view RequestName(std::optional<uint32_t> message);

class RequestReport {
 public:
  // `message` is the request's window message; none for the start-up load.
  RequestReport(ProcessState& process, std::optional<uint32_t> message);
  RequestReport(const RequestReport&) = delete;
  RequestReport& operator=(const RequestReport&) = delete;
  // `done`: the request did its work (false: the lines before this one said why not).
  void Finish(bool done);

 private:
  ProcessState& process_;
  std::optional<uint32_t> message_;
  RequestTally startTally_;
  RequestTally::Clock::time_point start_;
  uint64_t startTicks_ = 0;
};

}  // namespace q9
