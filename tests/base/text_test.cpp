#include "base/text.h"

#include <gtest/gtest.h>

namespace q9 {
namespace {

TEST(Text, Utf8RoundTripAndReplacementOfBrokenSequences) {
  const std::u16string text = u"A\u00e9\u4e2d\U0001F600";
  EXPECT_EQ(Utf8FromUtf16(text), "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16FromUtf8(Utf8FromUtf16(text)), text);

  EXPECT_EQ(Utf8FromUtf16(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf8FromUtf16(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16FromUtf8("\xC3"), u"\uFFFD");
  EXPECT_EQ(Utf16FromUtf8("\xC0\xAFz"), u"\uFFFD\uFFFDz");  // overlong
  EXPECT_EQ(Utf16FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
}

// Each maximal subpart of an ill-formed sequence is one U+FFFD, and the byte that broke it is
// read again as the start of what follows.
TEST(Text, BrokenSequenceBecomesOneReplacementAndDecodingGoesOn) {
  EXPECT_EQ(Utf16FromUtf8("caf\xE9s"), u"caf\uFFFDs");
  EXPECT_EQ(Utf16FromUtf8("\xF0" "AB"), u"\uFFFDAB");
  EXPECT_EQ(Utf16FromUtf8("\xF0\x9F\x98"), u"\uFFFD");
  EXPECT_EQ(Utf16FromUtf8("\xE2\x82s"), u"\uFFFDs");
  // The example of the Unicode standard's own table: a lead byte whose next byte is out of its
  // range, stray continuation bytes and bytes that begin nothing each count alone.
  EXPECT_EQ(Utf16FromUtf8("\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64"),
            u"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd");
  EXPECT_EQ(Utf16FromUtf8("\xE0\x9F\x80"), u"\uFFFD\uFFFD\uFFFD");  // overlong
  EXPECT_EQ(Utf16FromUtf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // beyond U+10FFFF
  EXPECT_EQ(Utf16FromUtf8("\xF5\x80"), u"\uFFFD\uFFFD");
  EXPECT_EQ(Utf16FromUtf8("\xEF\xBF\xBF\xF4\x8F\xBF\xBF"), u"\uFFFF\U0010FFFF");
}

// Every start of every kind of multi-byte character, at the end of the text and before the next
// character: one U+FFFD, and nothing after it lost.
TEST(Text, EveryTruncatedSequenceIsOneReplacement) {
  const std::string characters[] = {
      "\xC2\x80",         "\xDF\xBF",         "\xE0\xA0\x80",     "\xE1\x80\x80",
      "\xEC\xBF\xBF",     "\xED\x9F\xBF",     "\xEE\x80\x80",     "\xEF\xBF\xBD",
      "\xF0\x90\x80\x80", "\xF1\x80\x80\x80", "\xF3\xBF\xBF\xBF", "\xF4\x8F\xBF\xBF"};
  for (const std::string& whole : characters) {
    ASSERT_EQ(Utf8FromUtf16(Utf16FromUtf8(whole)), whole) << "a whole character is kept";
    for (size_t length = 1; length < whole.size(); ++length) {
      const std::string cut = whole.substr(0, length);
      SCOPED_TRACE(testing::PrintToString(cut));
      EXPECT_EQ(Utf16FromUtf8(cut), u"\uFFFD");
      EXPECT_EQ(Utf16FromUtf8("x" + cut), u"x\uFFFD");
      EXPECT_EQ(Utf16FromUtf8(cut + "s"), u"\uFFFDs");
      EXPECT_EQ(Utf16FromUtf8(cut + "\xC3\xA9"), u"\uFFFD\u00e9");
      EXPECT_EQ(Utf16FromUtf8(cut + cut + "s"), u"\uFFFD\uFFFDs");
    }
  }
}

TEST(Text, BytesBecomeCodeUnitsOfTheSameValue) {
  EXPECT_EQ(Utf16FromBytes("\xE9\x01\xFF"), std::u16string(u"\u00e9\u0001\u00ff"));
}

}  // namespace
}  // namespace q9
