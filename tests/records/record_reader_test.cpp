#include "records/record_reader.h"

#include <gmock/gmock.h>

#include <cmath>
#include <limits>

#include "base/platform.h"
#include "base/text.h"
#include "float3_compare.h"
#include "test_files.h"

namespace q9 {
namespace {

using ::testing::ElementsAre;

std::vector<std::u16string> Lines(const std::u16string& text) {
  RecordReader reader(text);
  std::vector<std::u16string> lines;
  std::u16string_view line;
  while (reader.NextLine(line)) lines.emplace_back(line);
  EXPECT_FALSE(reader.NextLine(line));  // and it stays at the end
  return lines;
}

TEST(RecordFile, BytesBecomeCodeUnitsAndOnlyCrLfPairsBecomeLf) {
  test::TempFolder folder;
  const std::u16string path = folder.File(u"camera.cam");
  test::WriteFileBytes(path, "a\r\nb\xE9\rc\r\r\nd\r");
  std::u16string text = u"stale";
  ASSERT_TRUE(ReadRecordFile(path, text));
  EXPECT_EQ(text, u"a\nb\u00e9\rc\r\nd\r");

  test::WriteFileBytes(path, "");
  EXPECT_TRUE(ReadRecordFile(path, text));
  EXPECT_EQ(text, u"");
  EXPECT_FALSE(ReadRecordFile(folder.File(u"missing.cam"), text));
}

TEST(RecordFile, CrLfAcrossReadBuffersAndALargeFile) {
  test::TempFolder folder;
  const std::u16string path = folder.File(u"Views.cam");
  // The pairs stand at every offset around the first buffer boundaries.
  std::string bytes;
  std::u16string expected;
  while (bytes.size() < 70000) {
    bytes += "xyz\r\n";
    expected += u"xyz\n";
  }
  test::WriteFileBytes(path, bytes);
  // The host may hold the file open for writing while it is read.
  platform::UniqueFile held = platform::OpenFile(path, "rb+");
  ASSERT_TRUE(held);
  std::u16string text;
  ASSERT_TRUE(ReadRecordFile(path, text));
  EXPECT_EQ(text, expected);
}

TEST(RecordReader, LinesEndAtLfAndKeepEverythingElse) {
  EXPECT_THAT(Lines(u"a\n\n b \r\nc"), ElementsAre(u"a", u"", u" b \r", u"c"));
  EXPECT_THAT(Lines(u"a\n"), ElementsAre(u"a"));
  EXPECT_THAT(Lines(u"\n"), ElementsAre(u""));
  EXPECT_TRUE(Lines(u"").empty());
}

TEST(RecordReader, TextValueDropsOneClosingBracketAtTheVeryEnd) {
  const std::u16string_view pattern = u"Camera_Name [";
  EXPECT_EQ(TextValue(u"Camera_Name [Front [A]]", pattern), u"Front [A]");
  EXPECT_EQ(TextValue(u"Camera_Name [x] ", pattern), u"x] ");
  EXPECT_EQ(TextValue(u"Camera_Name [x]\r", pattern), u"x]\r");
  EXPECT_EQ(TextValue(u"Camera_Name [", pattern), u"");
  EXPECT_EQ(TextValue(u"Camera_Name []", pattern), u"");
  EXPECT_EQ(TextValue(u"Camera_Name [x]]", pattern), u"x]");
  EXPECT_EQ(TextValue(u"Camera_Name [  a b]", pattern), u"  a b");
  EXPECT_TRUE(KeyMatches(u"Camera_Name [", pattern));
  EXPECT_FALSE(KeyMatches(u" Camera_Name [x]", pattern));
  EXPECT_FALSE(KeyMatches(u"Camera_Name", pattern));
}

int32_t Integer(std::u16string_view line) {
  int32_t value = -7;
  ScanKey(line, u"K", u" [%d", {&value});
  return value;
}

Float3 Triple(std::u16string_view line) {
  Float3 f{-7, -7, -7};
  ScanKey(line, u"K", u" [%f %f %f", {&f.x, &f.y, &f.z});
  return f;
}

TEST(ScanKey, ConversionsStopAtTheFirstFailureAndKeepWhatWasConverted) {
  EXPECT_EQ(Integer(u"K [ 7 ]"), 7);
  EXPECT_EQ(Integer(u"K\t\t[+7"), 7);  // a format blank takes any run of white space
  EXPECT_EQ(Integer(u"K[7"), 7);       // and none
  EXPECT_EQ(Integer(u"K 7"), -7);
  EXPECT_EQ(Integer(u"K [0.75]"), 0);
  EXPECT_EQ(Triple(u"K [1 2]"), (Float3{1, 2, -7}));
  EXPECT_EQ(Triple(u"K [1 x 3]"), (Float3{1, -7, -7}));
  EXPECT_EQ(Triple(u"K [abc]"), (Float3{-7, -7, -7}));
  EXPECT_EQ(Triple(u"K [1e+ 2e 3]"), (Float3{1, 2, 3}));  // a mark without digits adds nothing
}

TEST(ScanKey, FormsTheHostNeverWritesAreNotReadExceptTinyReals) {
  for (const char16_t* line : {u"K [inf]", u"K [-infinity]", u"K [nan]", u"K [0x1p3]",
                               u"K [1e39]", u"K [99999999999999999999999999999999999999999]",
                               u"K [\u00a01]"}) {
    EXPECT_EQ(Triple(line).x, -7) << Utf8FromUtf16(line);
  }
  EXPECT_EQ(Triple(u"K [1e-50]").x, 0.0f);
  EXPECT_TRUE(std::signbit(Triple(u"K [-1e-50]").x));
  EXPECT_EQ(Triple(u"K [1e-45]").x, std::numeric_limits<float>::denorm_min());
  EXPECT_EQ(Triple(u"K [3.4028235e38]").x, std::numeric_limits<float>::max());

  EXPECT_EQ(Integer(u"K [2147483647]"), 2147483647);
  EXPECT_EQ(Integer(u"K [-2147483648]"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(Integer(u"K [2147483648]"), -7);
  EXPECT_EQ(Integer(u"K [-2147483649]"), -7);
  EXPECT_EQ(Integer(u"K [4294967303]"), -7);  // no wrapping to 7
  EXPECT_EQ(Integer(u"K [00000000000000000000000000042]"), 42);
}

TEST(ReadObjectText, NestedEntriesOfTheSameClassEndAtTheMatchingEndLine) {
  RecordReader reader(u"a\nS\nb\nE x\nc\nE\nafter\n");
  std::u16string text;
  ASSERT_TRUE(ReadObjectText(reader, u"S", u"E", text));
  EXPECT_EQ(text, u"a\nS\nb\nE x\nc\n");
  std::u16string_view line;
  ASSERT_TRUE(reader.NextLine(line));
  EXPECT_EQ(line, u"after");

  RecordReader open(u"a\nS\nE\n");
  EXPECT_FALSE(ReadObjectText(open, u"S", u"E", text));
}

}  // namespace
}  // namespace q9
