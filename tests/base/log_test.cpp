#include "base/log.h"

#include <gtest/gtest.h>

#include <regex>

#include "test_files.h"

namespace q9 {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

class LogTest : public ::testing::Test {
 protected:
  LogWriter Writer() const {
    return LogWriter([this] { return folder.path() + u"\\"; });
  }
  std::u16string LogPath() const { return folder.File(u"Q9_Log.log"); }
  std::u16string BackupPath() const { return folder.File(u"Q9_Log.logOld"); }

  test::TempFolder folder;
};

const std::regex kNarrowLine(R"(\[\d{4}\. \d\d\. \d\d - \d\d:\d\d:\d\d\]: )");
const std::regex kWideLine(R"(\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\]: )");

// One log line's bytes, timestamp and brackets checked and removed.
std::string Message(const std::string& line, const std::regex& stamp) {
  std::smatch match;
  if (!std::regex_search(line, match, stamp) || match.position(0) != 0) return "<no stamp>";
  return line.substr(match.length(0));
}

TEST_F(LogTest, LinesCarryUtcTimestampsInEachWritersFormatAndEndWithCrLf) {
  LogWriter log = Writer();
  log.WriteLine("Init Start");
  log.WriteLineW(u"cameraSync");
  const std::string bytes = ReadFileBytes(LogPath());
  const size_t firstEnd = bytes.find("\r\n");
  ASSERT_NE(firstEnd, std::string::npos);
  EXPECT_EQ(Message(bytes.substr(0, firstEnd + 2), kNarrowLine), "Init Start\r\n");
  EXPECT_EQ(Message(bytes.substr(firstEnd + 2), kWideLine), "cameraSync\r\n");
}

TEST_F(LogTest, MessagesAreWrittenUnchanged) {
  LogWriter log = Writer();
  log.WriteLine("100% done %s %n");
  log.WriteLine("Args - ");
  log.WriteLineW(u"");
  const std::string bytes = ReadFileBytes(LogPath());
  EXPECT_NE(bytes.find("]: 100% done %s %n\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("]: Args - \r\n"), std::string::npos);
  EXPECT_NE(bytes.find("]: \r\n"), std::string::npos);
}

TEST_F(LogTest, WideMessagesBeyondLatin1AreWrittenAsUtf8) {
  LogWriter log = Writer();
  log.WriteLineW(u"caf\u00e9");
  log.WriteLineW(u"\u00e9 \u4e2d");
  const std::string bytes = ReadFileBytes(LogPath());
  EXPECT_NE(bytes.find("]: caf\xE9\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("]: \xC3\xA9 \xE4\xB8\xAD\r\n"), std::string::npos);
}

TEST_F(LogTest, LogOfExactlyTheLimitIsNotRotated) {
  WriteFileBytes(LogPath(), std::string(100000, 'a'));
  Writer().WriteLine("next");
  EXPECT_FALSE(test::FileExists(BackupPath()));
  EXPECT_GT(ReadFileBytes(LogPath()).size(), 100000u);
}

TEST_F(LogTest, LogBeyondTheLimitMovesToTheBackupAndStartsAnew) {
  const std::string old(100001, 'a');
  WriteFileBytes(LogPath(), old);
  Writer().WriteLine("fresh");
  EXPECT_EQ(ReadFileBytes(BackupPath()), old);
  EXPECT_EQ(Message(ReadFileBytes(LogPath()), kNarrowLine), "fresh\r\n");
}

TEST_F(LogTest, SecondRotationReplacesTheEarlierBackup) {
  WriteFileBytes(BackupPath(), "earlier backup");
  const std::string old(150000, 'b');
  WriteFileBytes(LogPath(), old);
  Writer().WriteLineW(u"fresh");
  EXPECT_EQ(ReadFileBytes(BackupPath()), old);
  EXPECT_EQ(Message(ReadFileBytes(LogPath()), kWideLine), "fresh\r\n");
}

TEST_F(LogTest, EachWriterTestsTheSizeOncePerProcess) {
  LogWriter log = Writer();
  log.WriteLine("first");
  WriteFileBytes(LogPath(), std::string(200000, 'c'));
  log.WriteLine("second");  // the narrow writer has made its test
  EXPECT_FALSE(test::FileExists(BackupPath()));
  log.WriteLineW(u"third");  // the wide writer has not
  EXPECT_EQ(ReadFileBytes(BackupPath()).size(), 200000u + std::string("[2025. 01. 01 - 00:00:00]: second\r\n").size());
  EXPECT_EQ(Message(ReadFileBytes(LogPath()), kWideLine), "third\r\n");
}

TEST_F(LogTest, FailedRotationKeepsTheLogAndStillWritesTheLine) {
  // A folder that is not empty stands at the backup path: it cannot be removed, so the copy
  // cannot be made, and the log must not be started anew.
  test::MakeFolder(BackupPath() + u"\\inner");
  const std::string old(100001, 'd');
  WriteFileBytes(LogPath(), old);
  Writer().WriteLine("kept");
  const std::string bytes = ReadFileBytes(LogPath());
  ASSERT_GT(bytes.size(), old.size());
  EXPECT_EQ(bytes.substr(0, old.size()), old);
  EXPECT_EQ(Message(bytes.substr(old.size()), kNarrowLine), "kept\r\n");
}

TEST_F(LogTest, MissingLogIsCreatedAndAMissingFolderLosesTheLineQuietly) {
  Writer().WriteLine("created");
  EXPECT_EQ(Message(ReadFileBytes(LogPath()), kNarrowLine), "created\r\n");

  LogWriter nowhere([this] { return folder.path() + u"\\missing\\"; });
  nowhere.WriteLine("lost");
  nowhere.WriteLineW(u"lost");
  EXPECT_FALSE(test::FileExists(folder.File(u"missing")));
}

TEST_F(LogTest, LogFileIsTheFolderFollowedDirectlyByItsName) {
  LogWriter log([] { return std::u16string(u"C:\\Roaming\\Vendrix\\Plandora2025_Q9Plugin\\Data"); });
  EXPECT_EQ(log.LogPath(), u"C:\\Roaming\\Vendrix\\Plandora2025_Q9Plugin\\DataQ9_Log.log");
  LogWriter relative([] { return std::u16string(); });
  EXPECT_EQ(relative.LogPath(), u"Q9_Log.log");
}

TEST(LogFileSize, MissingFileCountsAsZero) {
  test::TempFolder folder;
  EXPECT_EQ(LogFileSize(folder.File(u"absent")), 0);
  WriteFileBytes(folder.File(u"five"), "12345");
  EXPECT_EQ(LogFileSize(folder.File(u"five")), 5);
}

}  // namespace
}  // namespace q9
