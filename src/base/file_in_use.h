// Files held by another process without sharing them (the host still writing "_model.pdx", a
// virus scanner reading it): a sharing violation is often over a moment later, so the open is
// tried again for a short, bounded time before it counts as failed.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "base/platform.h"

namespace q9 {

class FileInUseWait {
 public:
  // The bound by default: the watchdog's own period, since the wait holds the message thread.
  static constexpr std::chrono::milliseconds kDefaultBound{1000};
  // The environment variable that sets the bound (whole milliseconds, 0 to 60000) for tests; it
  // is read once, when the process state is made.
  static constexpr char16_t kBoundVariable[] = u"Q9_FILE_IN_USE_WAIT_MS";
  static constexpr std::chrono::milliseconds kWorthNoting{100};

  explicit FileInUseWait(std::chrono::milliseconds bound = kDefaultBound) : bound_(bound) {}
  // The bound that kBoundVariable gives, or the default when it is unset or not such a number.
  static FileInUseWait FromEnvironment();

  std::chrono::milliseconds bound() const { return bound_; }

  // A new request begins: its files have the whole bound again.
  void Renew() { deadline_.reset(); }

  // Runs `attempt` (which fills its error when it fails) until it succeeds, fails for another
  // reason than a sharing violation, or the request's bound has passed, trying about every
  // 50 ms. The bound runs from the first sharing violation of the request, so a request that
  // opens several files waits no longer than the bound in all. Returns the last attempt's
  // result with its error in `error`; `waited` (if given) receives how long this call waited (0
  // when it tried once only).
  bool Run(const std::function<bool(platform::FileError& error)>& attempt,
           platform::FileError& error, std::chrono::milliseconds* waited = nullptr);

  // Whether a wait that ended with the file opened is worth a "Note: " line: a few milliseconds
  // are the moment another program takes to close a file (under Wine even a file closed by
  // another process a moment before may read as in use), a tenth of a second or more is a
  // program that held it.
  static bool WorthNoting(std::chrono::milliseconds waited) { return waited >= kWorthNoting; }

  // Words for a log line about a file still in use when Run gave up after `waited`: "it was in
  // use by another process; given up after 1000 ms", followed by ": " and the system's text.
  std::string GaveUpText(std::chrono::milliseconds waited, const platform::FileError& error) const;

 private:
  std::chrono::milliseconds bound_;
  std::optional<std::chrono::steady_clock::time_point> deadline_;  // set by the first violation
};

}  // namespace q9
