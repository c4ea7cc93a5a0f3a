// A full disk, played by a size limit on the files of a forked child: a write that would take a
// file beyond it fails part way. Nothing is reported as done that was not written, nothing cut
// short is left looking valid, and the process goes on with the next request once there is room.
#include <gmock/gmock.h>

#include <regex>

#include "base/platform.h"
#include "file_size_limit_posix.h"
#include "scene_fixture.h"
#include "sync/model_sync.h"

namespace q9 {
namespace {

using ::testing::ElementsAre;
using ::testing::SizeIs;
using ::testing::StartsWith;

class FullDiskTest : public SceneTest {
 protected:
  void AddSolids(int32_t from, int32_t to) {
    for (int32_t id = from; id <= to; ++id) {
      container.solids[static_cast<uint32_t>(id)] = SolidEntry{id * 10, u"", id};
    }
  }
  std::string Shown(std::u16string_view name) const { return platform::DisplayPath(File(name)); }
};

TEST_F(FullDiskTest, SyncRecordCutShortIsRemovedAndTheHostIsNotNotified) {
  // The earlier record lists 60 solids; the new one, 400, meets the limit just above its size.
  AddSolids(1, 60);
  ASSERT_TRUE(writeSyncRecord(container));
  const int64_t earlier = platform::FileSize(File(u"_mod.sync"));
  AddSolids(61, 400);
  const std::string report = test::InChildWithFileSizeLimit(earlier + 1, [&](std::string& out) {
    int notified = 0;
    const bool first = modelSyncNotify(container, [&] { ++notified; });
    out += "first " + std::to_string(first) + ", notified " + std::to_string(notified) +
           ", record " + (test::FileExists(File(u"_mod.sync")) ? "left" : "gone");
    test::LiftFileSizeLimit();
    const bool next = modelSyncNotify(container, [&] { ++notified; });
    out += "; next " + std::to_string(next) + ", notified " + std::to_string(notified);
  });
  EXPECT_EQ(report, "first 0, notified 0, record gone; next 1, notified 1");
  const std::string record = test::ReadFileBytes(File(u"_mod.sync"));
  EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 401) << "the next record is whole";
  EXPECT_THAT(LogMessages(),
              ElementsAre("Error: sync record \"" + Shown(u"_mod.sync") +
                              "\" could not be written: File too large; the host is not notified",
                          "Sync Model state 0"));
}

TEST_F(FullDiskTest, FreshHeaderCutShortIsRemovedSoTheNextRequestWritesItAgain) {
  // No "_mod.sm" yet: the update writes a fresh header of 208 644 bytes, which the limit cuts.
  const std::string report = test::InChildWithFileSizeLimit(4096, [&](std::string& out) {
    modelSyncApply(container, true);
    out += test::FileExists(File(u"_mod.sm")) ? "cut header left" : "nothing left";
    test::LiftFileSizeLimit();
    modelSyncApply(container, true);
    out += "; then " + std::to_string(platform::FileSize(File(u"_mod.sm"))) + " bytes";
  });
  EXPECT_EQ(report, "nothing left; then 208644 bytes");
  const std::string failed = "Error: a fresh header could not be written into container \"" +
                             Shown(u"_mod.sm") + "\": File too large; the part written was removed";
  // Each of the update's two reads of the container meets the missing file and tries once.
  EXPECT_THAT(LogMessages(), ElementsAre("Sync Model state 1 _ Start", failed, failed,
                                         "Sync Model state 1 _ End", "Sync Model state 1 _ Start",
                                         "Sync Model state 1 _ End"));
  // The header written at last is a whole, valid one.
  SceneContainer check(process);
  check.path = File(u"_mod.sm");
  check.loadHeader();
  EXPECT_EQ(check.headerSize, kContainerHeaderSize);
  EXPECT_EQ(check.reserved8, 1);
}

TEST_F(FullDiskTest, LogLineCutShortGoesWholeToStandardErrorAndTheNextLineStartsAfresh) {
  const std::u16string logPath = process.log.LogPath();
  const int64_t before = platform::FileSize(logPath);
  ASSERT_GT(before, 0);
  std::string told;
  const std::string report = test::InChildWithFileSizeLimit(
      before + 10,
      [&](std::string& out) {
        process.log.WriteLine("Sync Model state 0");
        test::LiftFileSizeLimit();
        process.log.WriteLine("Sync Model state 1 _ Start");
        out += "carried on";
      },
      &told);
  EXPECT_EQ(report, "carried on");
  // What remains of the cut line: its first 10 bytes, ended by the next line's own line end.
  const std::string added = test::ReadFileBytes(logPath).substr(static_cast<size_t>(before));
  EXPECT_TRUE(std::regex_match(
      added, std::regex(R"(\[\d{4}\. \d\d\.\r\n\[[-0-9. :]+\]: Sync Model state 1 _ Start\r\n)")))
      << added;
  // The whole line reached standard error after the reason, told once; the stored line is the
  // 25-byte time stamp, ": ", the 18-byte message and CR LF.
  const std::string reason = "Error: the log \"" + platform::DisplayPath(logPath) +
                             "\" could not be written: File too large (the line was cut after 10 "
                             "of 47 bytes)\n";
  ASSERT_THAT(told, StartsWith(reason));
  EXPECT_TRUE(std::regex_match(told.substr(reason.size()),
                               std::regex(R"(\[[-0-9. :]+\]: Sync Model state 0\n)")))
      << told;
}

}  // namespace
}  // namespace q9
