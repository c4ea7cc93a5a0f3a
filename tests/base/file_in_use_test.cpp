// Waiting for a file in use by another process: only a sharing violation is waited for, a
// request waits no longer than the bound in all, and the bound comes from the environment.
#include "base/file_in_use.h"

#include <gmock/gmock.h>

#include <thread>

#include "base/text.h"
#include "reference_link.h"

namespace q9 {
namespace {

using namespace std::chrono_literals;

platform::FileError InUse() { return {32, "in use (error 32)", true}; }

// An open that meets a sharing violation `busy` times, then succeeds; counts its tries.
struct Attempt {
  int busy = 0;
  int tries = 0;
  bool operator()(platform::FileError& error) {
    if (tries++ < busy) {
      error = InUse();
      return false;
    }
    return true;
  }
};

TEST(FileInUseWait, ASharingViolationIsTriedAgainUntilTheFileIsFree) {
  FileInUseWait wait(5000ms);
  Attempt attempt{3};
  platform::FileError error;
  std::chrono::milliseconds waited{-1};
  EXPECT_TRUE(wait.Run(std::ref(attempt), error, &waited));
  EXPECT_EQ(attempt.tries, 4);
  EXPECT_GT(waited.count(), 0);
  EXPECT_TRUE(error.text.empty()) << "the error of an attempt that succeeded is cleared";
}

TEST(FileInUseWait, OtherFailuresAreNotWaitedFor) {
  FileInUseWait wait(5000ms);
  int tries = 0;
  platform::FileError error;
  std::chrono::milliseconds waited{-1};
  EXPECT_FALSE(wait.Run(
      [&](platform::FileError& e) {
        ++tries;
        e = {5, "Access is denied. (error 5)", false};
        return false;
      },
      error, &waited));
  EXPECT_EQ(tries, 1);
  EXPECT_EQ(waited.count(), 0);
  EXPECT_EQ(error.code, 5u);
}

TEST(FileInUseWait, ARequestWaitsNoLongerThanTheBoundInAll) {
  FileInUseWait wait(150ms);
  Attempt held{1000000};
  platform::FileError error;
  std::chrono::milliseconds waited{0};
  EXPECT_FALSE(wait.Run(std::ref(held), error, &waited));
  EXPECT_GE(waited, 150ms);
  EXPECT_GT(held.tries, 1);
  EXPECT_TRUE(error.sharingViolation);
  EXPECT_EQ(wait.GaveUpText(waited, error),
            "it was in use by another process; given up after " + std::to_string(waited.count()) +
                " ms: in use (error 32)");
  // A second file of the same request is tried once: the request has had its wait.
  Attempt second{1000000};
  EXPECT_FALSE(wait.Run(std::ref(second), error, &waited));
  EXPECT_EQ(second.tries, 1);
  EXPECT_EQ(wait.GaveUpText(waited, error),
            "it was in use by another process; not waited for again (this request waited 150 ms "
            "already): in use (error 32)");
  // The next request has the whole bound again.
  wait.Renew();
  Attempt next{2};
  EXPECT_TRUE(wait.Run(std::ref(next), error));
  EXPECT_EQ(next.tries, 3);
}

TEST(FileInUseWait, NoBoundMeansOneTry) {
  FileInUseWait wait(0ms);
  Attempt held{1};
  platform::FileError error;
  std::chrono::milliseconds waited{-1};
  // The one try is slow (an open under Wine can take milliseconds to fail): still no wait.
  const auto slow = [&](platform::FileError& e) {
    std::this_thread::sleep_for(5ms);
    return held(e);
  };
  EXPECT_FALSE(wait.Run(slow, error, &waited));
  EXPECT_EQ(held.tries, 1);
  EXPECT_EQ(waited, 0ms);
  EXPECT_EQ(wait.GaveUpText(waited, error),
            "it was in use by another process; not waited for (no wait set): in use (error 32)");
}

TEST(FileInUseWait, TheBoundComesFromTheEnvironmentWhenItIsANumberOfMilliseconds) {
  const char* name = "Q9_FILE_IN_USE_WAIT_MS";
  EXPECT_EQ(FileInUseWait::FromEnvironment().bound(), 1000ms) << "unset: the default";
  const std::pair<std::u16string, std::chrono::milliseconds> cases[] = {
      {u"250", 250ms},    {u"0", 0ms},      {u"60000", 60000ms}, {u"60001", 1000ms},
      {u"-5", 1000ms},    {u"2s", 1000ms},  {u"", 1000ms},       {u"99999999999", 1000ms}};
  for (const auto& [value, bound] : cases) {
    test::ReferenceLink::SetVariable(name, value);
    EXPECT_EQ(FileInUseWait::FromEnvironment().bound(), bound) << Utf8FromUtf16(value);
  }
  test::ReferenceLink::SetVariable(name, std::nullopt);
}

}  // namespace
}  // namespace q9
