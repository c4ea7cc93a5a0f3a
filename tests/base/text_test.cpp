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

TEST(Text, BytesBecomeCodeUnitsOfTheSameValue) {
  EXPECT_EQ(Utf16FromBytes("\xE9\x01\xFF"), std::u16string(u"\u00e9\u0001\u00ff"));
}

}  // namespace
}  // namespace q9
