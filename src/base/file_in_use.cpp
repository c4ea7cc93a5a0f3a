#include "base/file_in_use.h"

#include <thread>

namespace q9 {

namespace {

constexpr std::chrono::milliseconds kRetryPeriod{50};
constexpr long long kMostBoundMs = 60000;

}  // namespace

FileInUseWait FileInUseWait::FromEnvironment() {
  const std::optional<std::u16string> value = platform::ReadProcessEnvironment(kBoundVariable);
  if (!value || value->empty() || value->size() > 5) return FileInUseWait();
  long long ms = 0;
  for (char16_t c : *value) {
    if (c < u'0' || c > u'9') return FileInUseWait();
    ms = ms * 10 + (c - u'0');
  }
  if (ms > kMostBoundMs) return FileInUseWait();
  return FileInUseWait(std::chrono::milliseconds(ms));
}

bool FileInUseWait::Run(const std::function<bool(platform::FileError& error)>& attempt,
                        platform::FileError& error, std::chrono::milliseconds* waited) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  bool done = false;
  bool tried = false;  // whether a try came after a pause: only then was the file waited for
  for (;;) {
    error = {};
    done = attempt(error);
    if (done || !error.sharingViolation) break;
    const Clock::time_point now = Clock::now();
    if (!deadline_) deadline_ = now + bound_;
    if (now >= *deadline_) break;
    std::this_thread::sleep_for(std::min<Clock::duration>(kRetryPeriod, *deadline_ - now));
    tried = true;
  }
  if (waited) {
    // A single try waited for nothing, however long it took (under Wine an open that fails can
    // take a millisecond or two).
    *waited = tried ? std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start)
                    : std::chrono::milliseconds(0);
  }
  return done;
}

std::string FileInUseWait::GaveUpText(std::chrono::milliseconds waited,
                                      const platform::FileError& error) const {
  std::string text = "it was in use by another process; ";
  if (waited.count() > 0) {
    text += "given up after " + std::to_string(waited.count()) + " ms";
  } else if (bound_.count() == 0) {
    text += "not waited for (no wait set)";
  } else {
    text += "not waited for again (this request waited " + std::to_string(bound_.count()) +
            " ms already)";
  }
  return text + ": " + error.text;
}

}  // namespace q9
