// What this thread's requests spend and send, summed over their calls: the time in the file
// layer (opening, reading and writing the request's files), the time in the link library (every
// call, measured where the session calls it) and the solids sent. Nothing resets the sums; a
// request reads them at its start and its end and takes the difference.
#pragma once

#include <chrono>
#include <cstdint>

#if defined(__x86_64__) || defined(_M_X64)
#include <x86intrin.h>
#endif

namespace q9 {

// A steady count that is cheap to read, for the link library's calls: a start-up load makes
// hundreds of thousands of them, each only nanoseconds long, where one read of the steady clock
// costs tens of nanoseconds (hundreds under a hypervisor). On x86-64 it is the processor's
// time-stamp counter, which runs at a constant rate whatever the core's speed; a request turns it
// into time by the steady clock over its own duration (RequestReport). Elsewhere it is the
// steady clock in nanoseconds.
inline uint64_t LinkTicks() {
#if defined(__x86_64__) || defined(_M_X64)
  return __rdtsc();
#else
  return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
}

struct RequestTally {
  using Clock = std::chrono::steady_clock;
  Clock::duration files{};
  uint64_t linkTicks = 0;
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

// Adds the ticks from its construction to its end to the link library's sum.
class ScopedLinkTime {
 public:
  ScopedLinkTime() : start_(LinkTicks()) {}
  ~ScopedLinkTime() { ThreadTally().linkTicks += LinkTicks() - start_; }
  ScopedLinkTime(const ScopedLinkTime&) = delete;
  ScopedLinkTime& operator=(const ScopedLinkTime&) = delete;

 private:
  uint64_t start_;
};

}  // namespace q9
