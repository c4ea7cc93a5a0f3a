// ScanKey against the C library's wide scan on generated lines: both must store the same values
// (bit for bit) into the same targets. Lines with a form the host never writes (hexadecimal,
// infinity, not-a-number, an integer beyond 32 bits, a blank beyond ASCII) may differ, but only
// where ScanKey stops converting: it reads no such form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <cwchar>
#include <random>

#include "base/text.h"
#include "records/record_reader.h"

namespace q9 {
namespace {

struct Line {
  std::u16string text;
  bool exotic = false;
};

class LineMaker {
 public:
  explicit LineMaker(uint32_t seed) : random_(seed) {}

  Line Make(bool integers) {
    Line line;
    line.text = Pick({u"K [", u"K [", u"K [", u"K  [", u"K[", u"K\t[", u"K ", u"k [", u" K ["});
    const uint32_t count = 1 + Below(3);
    for (uint32_t i = 0; i < count; ++i) {
      if (i > 0) line.text += Separator(line.exotic);
      line.text += integers ? Integer(line.exotic) : Real(line.exotic);
    }
    line.text += Pick({u"", u"]", u"]]", u"] ", u"\r", u"abc", u"]\r", u" \u00e9"});
    if (integers && HasIntegerBeyond32Bits(line.text)) line.exotic = true;
    return line;
  }

 private:
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(random_() % n); }

  template <size_t N>
  std::u16string Pick(const char16_t* const (&choices)[N]) {
    return choices[Below(N)];
  }

  std::u16string Digits(uint32_t count) {
    std::u16string digits;
    for (uint32_t i = 0; i < count; ++i) digits += static_cast<char16_t>(u'0' + Below(10));
    return digits;
  }

  // Mostly short runs, now and then a very long one, with leading zeros at times.
  std::u16string DigitRun(uint32_t usual) {
    const uint32_t roll = Below(20);
    if (roll == 0) return Digits(25 + Below(60));
    if (roll == 1) return u"0000000000000000000000" + Digits(1 + Below(usual));
    return Digits(Below(usual + 1));
  }

  std::u16string Separator(bool& exotic) {
    if (Below(40) == 0) {
      exotic = true;
      return Pick({u"\u00a0", u"\u3000", u" \u2028"});
    }
    if (Below(3) != 0) return u" ";
    return Pick({u"", u"  ", u"\t", u"\r", u"\v\f ", u"\n", u",", u"]", u" x", u" ["});
  }

  std::u16string Sign() { return Pick({u"", u"", u"", u"-", u"+", u"--", u"+-", u"- "}); }

  std::u16string Exotic(bool& exotic) {
    exotic = true;
    return Pick({u"inf", u"-INF", u"nan", u"NaN(7)", u"infinity", u"0x1p3", u"0X1.8p-2",
                 u"-0x10", u"0x", u"0xg", u"in"});
  }

  std::u16string Integer(bool& exotic) {
    if (Below(15) == 0) return Exotic(exotic);
    return Sign() + DigitRun(10);
  }

  // Numbers may run together where no separator stands between them.
  static bool HasIntegerBeyond32Bits(std::u16string_view text) {
    size_t at = 0;
    while ((at = text.find_first_of(u"0123456789", at)) != std::u16string_view::npos) {
      while (at < text.size() && text[at] == u'0') ++at;
      const size_t start = at;
      while (at < text.size() && text[at] >= u'0' && text[at] <= u'9') ++at;
      const std::u16string_view significant = text.substr(start, at - start);
      if (significant.size() > 10 || (significant.size() == 10 && significant >= u"2147483648")) {
        return true;
      }
    }
    return false;
  }

  std::u16string Real(bool& exotic) {
    if (Below(15) == 0) return Exotic(exotic);
    std::u16string number = Sign() + DigitRun(6);
    if (Below(2) == 0) number += u"." + DigitRun(8);
    if (Below(3) == 0) {
      number += Pick({u"e", u"E"}) + Pick({u"", u"+", u"-"});
      number += Below(4) == 0 ? Digits(Below(4)) : Digits(Below(3));
    }
    return number;
  }

  std::mt19937 random_;
};

template <class T>
bool Same(T a, T b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

template <class T>
bool Finite(T value) {
  if constexpr (std::is_floating_point_v<T>) return std::isfinite(value);
  return true;
}

// Compares one line; false (with a failure message) when the results differ where they must not.
template <class T>
bool Compare(const Line& line, std::u16string_view suffix, const wchar_t* format, T sentinel) {
  T ours[3] = {sentinel, sentinel, sentinel};
  ScanKey(line.text, u"K", suffix, {&ours[0], &ours[1], &ours[2]});
  T library[3] = {sentinel, sentinel, sentinel};
  const std::wstring wide(line.text.begin(), line.text.end());
  std::swscanf(wide.c_str(), format, &library[0], &library[1], &library[2]);

  for (size_t i = 0; i < 3; ++i) {
    if (Same(ours[i], library[i])) continue;
    bool allowed = line.exotic || !Finite(library[i]);
    for (size_t j = i; j < 3; ++j) allowed = allowed && Same(ours[j], sentinel);
    if (allowed) return true;
    ADD_FAILURE() << "line \"" << Utf8FromUtf16(line.text) << "\" target " << i << ": ours "
                  << ours[i] << ", the C library's " << library[i];
    return false;
  }
  return true;
}

TEST(ScanDifferential, ScanKeyStoresWhatTheCLibraryStores) {
  LineMaker maker(20240611);
  int failures = 0;
  int strict = 0;
  constexpr int kLines = 30000;
  for (int n = 0; n < kLines && failures < 20; ++n) {
    const Line integers = maker.Make(true);
    failures += !Compare<int32_t>(integers, u" [%d %d %d", L"K [%d %d %d", -12345);
    const Line reals = maker.Make(false);
    failures += !Compare<float>(reals, u" [%f %f %f", L"K [%f %f %f", -12345.5f);
    failures += !Compare<float>(reals, u" %f %f %f", L"K %f %f %f", -12345.5f);
    strict += !integers.exotic + !reals.exotic;
  }
  EXPECT_EQ(failures, 0);
  EXPECT_GT(strict, kLines);  // most lines are compared without any allowance
}

}  // namespace
}  // namespace q9
