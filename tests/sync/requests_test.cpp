#include "sync/requests.h"

#include <gtest/gtest.h>

#include "base/exchange_folder.h"
#include "base/log.h"
#include "test_files.h"

namespace q9 {
namespace {

using Words = std::vector<std::u16string>;

TEST(SplitCommandLine, OnlyTheSpaceSeparates) {
  EXPECT_EQ(SplitCommandLine(u""), Words{});
  EXPECT_EQ(SplitCommandLine(u"cameraSync"), Words{u"cameraSync"});
  EXPECT_EQ(SplitCommandLine(u"cameraSync viewsSync"), (Words{u"cameraSync", u"viewsSync"}));
  EXPECT_EQ(SplitCommandLine(u" cameraSync"), (Words{u"", u"cameraSync"}));
  EXPECT_EQ(SplitCommandLine(u"a  b"), (Words{u"a", u"", u"b"}));
  EXPECT_EQ(SplitCommandLine(u"a "), Words{u"a"});
  EXPECT_EQ(SplitCommandLine(u"a  "), (Words{u"a", u""}));
  EXPECT_EQ(SplitCommandLine(u" "), Words{u""});
  EXPECT_EQ(SplitCommandLine(u"\"a b\"\tc"), (Words{u"\"a", u"b\"\tc"}));
}

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override { process.exchangeFolder.Fix(folder.path() + u"\\"); }
  std::string Log() const { return test::ReadFileBytes(folder.File(u"Q9_Log.log")); }

  test::TempFolder folder;
  ProcessState process;
};

TEST_F(CommandLineTest, FirstWordSelectsTheRequestExactly) {
  const std::pair<const char16_t*, SyncRequest> cases[] = {
      {u"cameraSync", SyncRequest::CameraSync}, {u"ModelSync", SyncRequest::ModelSync},
      {u"lightSync", SyncRequest::LightSync},   {u"viewsSync", SyncRequest::ViewsSync},
      {u"camerasync", SyncRequest::None},       {u"cameraSync\t", SyncRequest::None},
      {u"colorMode", SyncRequest::None},
  };
  for (const auto& [word, expected] : cases) {
    process.requestCode = SyncRequest::None;
    ApplyCommandLine(process, SplitCommandLine(std::u16string(word) + u" viewsSync"));
    EXPECT_EQ(process.requestCode, expected) << std::string(word, word + std::char_traits<char16_t>::length(word));
  }
}

TEST_F(CommandLineTest, ColorModeSetsTheFlagOnly) {
  ApplyCommandLine(process, {u"colorMode"});
  EXPECT_TRUE(process.colorMode);
  EXPECT_EQ(process.requestCode, SyncRequest::None);
}

TEST_F(CommandLineTest, WordsAreLoggedAndAnEmptyLineLogsNothing) {
  ApplyCommandLine(process, {});
  EXPECT_EQ(Log(), "");
  ApplyCommandLine(process, SplitCommandLine(u" cameraSync"));
  const std::string log = Log();
  EXPECT_NE(log.find("]: Args - \r\n["), std::string::npos) << log;
  EXPECT_NE(log.find("]: \r\n"), std::string::npos) << log;
  EXPECT_EQ(process.requestCode, SyncRequest::None);
}

}  // namespace
}  // namespace q9
