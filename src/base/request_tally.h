// What this thread's requests spend and send, summed over their calls: the time in the file
// layer (opening, reading and writing the request's files), the time in the link library (every
// call, measured where the session calls it) and the solids sent. Nothing resets the sums; a
// request reads them at its start and its end and takes the difference.
#pragma once

#include <chrono>
#include <cstdint>

namespace q9 {

struct RequestTally {
  using Clock = std::chrono::steady_clock;
  Clock::duration files{};
  Clock::duration link{};
  uint64_t solidsSent = 0;
};

// This thread's sums (one thread does all of a process's requests).
inline RequestTally& ThreadTally() {
  thread_local RequestTally tally;
  return tally;
}

// Adds the time from its construction to its end to the file layer's sum.
class ScopedFileTime {
 public:
  ScopedFileTime() : start_(RequestTally::Clock::now()) {}
  ~ScopedFileTime() { ThreadTally().files += RequestTally::Clock::now() - start_; }
  ScopedFileTime(const ScopedFileTime&) = delete;
  ScopedFileTime& operator=(const ScopedFileTime&) = delete;

 private:
  RequestTally::Clock::time_point start_;
};

// Adds the time from its construction to its end to the link library's sum. A library that
// reads or writes files through this system's file layer does so inside the call: that time is
// the library's, not the request's files'.
class ScopedLinkTime {
 public:
  ScopedLinkTime() : filesBefore_(ThreadTally().files), start_(RequestTally::Clock::now()) {}
  ~ScopedLinkTime() {
    RequestTally& tally = ThreadTally();
    tally.link += RequestTally::Clock::now() - start_;
    tally.files = filesBefore_;
  }
  ScopedLinkTime(const ScopedLinkTime&) = delete;
  ScopedLinkTime& operator=(const ScopedLinkTime&) = delete;

 private:
  RequestTally::Clock::duration filesBefore_;
  RequestTally::Clock::time_point start_;
};

}  // namespace q9
