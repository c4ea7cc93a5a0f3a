#include "records/record_reader.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <system_error>

#include "base/platform.h"
#include "base/request_tally.h"

namespace q9 {

namespace {

bool IsWhiteSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

size_t SkipWhiteSpace(std::u16string_view line, size_t at) {
  while (at < line.size() && IsWhiteSpace(line[at])) ++at;
  return at;
}

size_t SkipDigits(std::u16string_view line, size_t at) {
  while (at < line.size() && IsDigit(line[at])) ++at;
  return at;
}

// "%d": white space, an optional sign, decimal digits. A value beyond 32 bits is not read.
bool ScanInteger(std::u16string_view line, size_t& pos, int32_t& value) {
  size_t at = SkipWhiteSpace(line, pos);
  bool negative = false;
  if (at < line.size() && (line[at] == u'+' || line[at] == u'-')) {
    negative = line[at] == u'-';
    ++at;
  }
  constexpr uint64_t kLargestMagnitude = uint64_t{1} << 31;  // of a negative value
  uint64_t magnitude = 0;
  const size_t digits = at;
  for (; at < line.size() && IsDigit(line[at]); ++at) {
    // Past the largest magnitude the value stays there: a string of any length cannot wrap.
    if (magnitude <= kLargestMagnitude) magnitude = magnitude * 10 + (line[at] - u'0');
  }
  if (at == digits) return false;
  pos = at;
  if (magnitude > (negative ? kLargestMagnitude : kLargestMagnitude - 1)) return false;
  value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                   : static_cast<int32_t>(magnitude);
  return true;
}

// Whether a decimal number (digits, point, exponent; no sign) that a float cannot hold lies
// above the float range rather than below it: the order of magnitude of its first significant
// digit is not negative.
bool AboveFloatRange(std::string_view number) {
  size_t at = 0;
  while (at < number.size() && number[at] == '0') ++at;
  int64_t order = 0;
  const size_t integerStart = at;
  while (at < number.size() && number[at] >= '0' && number[at] <= '9') ++at;
  if (at > integerStart) {
    order = static_cast<int64_t>(at - integerStart) - 1;
  } else {
    if (at < number.size() && number[at] == '.') ++at;
    const size_t fractionStart = at;
    while (at < number.size() && number[at] == '0') ++at;
    order = -static_cast<int64_t>(at - fractionStart) - 1;
  }
  const size_t mark = number.find_first_of("eE");
  if (mark == std::string_view::npos) return order >= 0;
  at = mark + 1;
  bool negative = false;
  if (at < number.size() && (number[at] == '+' || number[at] == '-')) negative = number[at++] == '-';
  // The exponent saturates far beyond any order a text can hold, so the sum cannot overflow.
  constexpr int64_t kSaturation = int64_t{1} << 52;
  int64_t exponent = 0;
  for (; at < number.size(); ++at) {
    if (exponent < kSaturation) exponent = exponent * 10 + (number[at] - '0');
  }
  return order + (negative ? -exponent : exponent) >= 0;
}

// "%f": white space, an optional sign, decimal digits with an optional point (at least one
// digit), an optional exponent (a mark and sign without digits are read and add nothing). The
// value is the float nearest to the decimal. Hexadecimal reals, infinities and not-a-number are
// not read, nor a decimal above the float range; one below it reads as zero.
bool ScanReal(std::u16string_view line, size_t& pos, float& value) {
  size_t at = SkipWhiteSpace(line, pos);
  bool negative = false;
  if (at < line.size() && (line[at] == u'+' || line[at] == u'-')) {
    negative = line[at] == u'-';
    ++at;
  }
  const size_t start = at;
  if (at + 1 < line.size() && line[at] == u'0' && (line[at + 1] == u'x' || line[at + 1] == u'X')) {
    return false;
  }
  at = SkipDigits(line, at);
  size_t digitCount = at - start;
  if (at < line.size() && line[at] == u'.') {
    const size_t fraction = at + 1;
    at = SkipDigits(line, fraction);
    digitCount += at - fraction;
  }
  if (digitCount == 0) return false;
  // The exponent mark and its sign are taken even when no digit follows; the value is then the
  // mantissa's.
  size_t numberEnd = at;
  if (at < line.size() && (line[at] == u'e' || line[at] == u'E')) {
    ++at;
    if (at < line.size() && (line[at] == u'+' || line[at] == u'-')) ++at;
    const size_t digits = at;
    at = SkipDigits(line, digits);
    if (at > digits) numberEnd = at;
  }

  // Every unit of the number is ASCII, checked above.
  const size_t length = numberEnd - start;
  char small[64];
  std::string large;
  char* ascii = small;
  if (length > sizeof small) {
    large.resize(length);
    ascii = large.data();
  }
  for (size_t i = 0; i < length; ++i) ascii[i] = static_cast<char>(line[start + i]);

  float parsed = 0;
  const auto [end, error] = std::from_chars(ascii, ascii + length, parsed, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    if (AboveFloatRange(std::string_view(ascii, length))) return false;
    parsed = 0;
  } else if (error != std::errc() || end != ascii + length) {
    return false;
  }
  pos = at;
  value = negative ? -parsed : parsed;
  return true;
}

// The pieces of a scan format read as one text.
class FormatCursor {
 public:
  explicit FormatCursor(std::span<const std::u16string_view> pieces)
      : piece_(pieces.data()), end_(pieces.data() + pieces.size()) {
    SkipFinishedPieces();
  }
  bool Done() const { return piece_ == end_; }
  char16_t Peek() const { return (*piece_)[offset_]; }
  void Advance() {
    ++offset_;
    SkipFinishedPieces();
  }

 private:
  void SkipFinishedPieces() {
    while (piece_ != end_ && offset_ >= piece_->size()) {
      ++piece_;
      offset_ = 0;
    }
  }
  const std::u16string_view* piece_;
  const std::u16string_view* end_;
  size_t offset_ = 0;
};

bool Convert(char16_t conversion, std::u16string_view line, size_t& pos, const ScanTarget& target) {
  if (conversion == u'd') {
    int32_t* const* integer = std::get_if<int32_t*>(&target);
    return integer && *integer && ScanInteger(line, pos, **integer);
  }
  if (conversion == u'f') {
    float* const* real = std::get_if<float*>(&target);
    return real && *real && ScanReal(line, pos, **real);
  }
  return false;
}

}  // namespace

bool ReadRecordFile(const std::u16string& path, std::u16string& text, platform::FileError* error,
                    const std::function<void(std::FILE* file)>& opened) {
  text.clear();
  ScopedFileTime timed;
  // The host may still hold the file open for writing; OpenFile shares it.
  platform::UniqueFile file = platform::OpenFile(path, "rb", error);
  if (!file) return false;
  if (opened) {
    // Its time is not the request's reading: taken off what the whole read adds.
    const auto start = RequestTally::Clock::now();
    opened(file.get());
    ThreadTally().files -= RequestTally::Clock::now() - start;
  }
  std::u16string read;
  // One character per byte at most: room for the whole file at once, so that a large file is
  // not copied again and again as the text grows. Taken once the first bytes were read (what is
  // not a file, a folder say, gives none), and never more than a bound of its own: a file still
  // growing, or a length that is not one, just grows the text.
  constexpr int64_t kMostReserved = int64_t{1} << 28;
  const int64_t length = platform::FileLength(file.get());
  if (length < 0 || !platform::SeekFile(file.get(), 0, error)) return false;
  char buffer[16384];
  char16_t units[sizeof buffer + 1];
  bool carriageReturn = false;  // the last byte read was a CR not yet stored
  size_t got;
  while ((got = platform::ReadFromFile(file.get(), buffer, sizeof buffer, error)) > 0) {
    if (read.empty()) read.reserve(static_cast<size_t>(std::min(length, kMostReserved)) + 1);
    size_t stored = 0;
    for (size_t i = 0; i < got; ++i) {
      const unsigned char byte = static_cast<unsigned char>(buffer[i]);
      if (carriageReturn && byte != '\n') units[stored++] = u'\r';
      carriageReturn = byte == '\r';
      if (!carriageReturn) units[stored++] = static_cast<char16_t>(byte);
    }
    read.append(units, stored);
  }
  // Half a file would give a record that the host never wrote.
  if (std::ferror(file.get())) return false;
  if (carriageReturn) read += u'\r';
  text = std::move(read);
  return true;
}

bool RecordReader::NextLine(std::u16string_view& line) {
  if (next_ >= text_.size()) return false;
  const std::u16string_view rest = std::u16string_view(text_).substr(next_);
  const size_t end = rest.find(u'\n');
  if (end == std::u16string_view::npos) {
    line = rest;
    next_ = text_.size();
  } else {
    line = rest.substr(0, end);
    next_ += end + 1;
  }
  return true;
}

bool KeyMatches(std::u16string_view line, std::u16string_view pattern) {
  return line.starts_with(pattern);
}

void ScanKey(std::u16string_view line, std::u16string_view keyText, std::u16string_view suffix,
             std::initializer_list<ScanTarget> targets) {
  ScanFormat(line, {keyText, suffix}, std::span<const ScanTarget>(targets.begin(), targets.size()));
}

void ScanFormat(std::u16string_view line, std::initializer_list<std::u16string_view> format,
                std::span<const ScanTarget> targets) {
  FormatCursor cursor(std::span<const std::u16string_view>(format.begin(), format.size()));
  size_t pos = 0;
  size_t nextTarget = 0;
  while (!cursor.Done()) {
    const char16_t c = cursor.Peek();
    cursor.Advance();
    if (IsWhiteSpace(c)) {
      while (!cursor.Done() && IsWhiteSpace(cursor.Peek())) cursor.Advance();
      pos = SkipWhiteSpace(line, pos);
      continue;
    }
    if (c == u'%') {
      if (cursor.Done()) return;
      const char16_t conversion = cursor.Peek();
      cursor.Advance();
      if (conversion == u'%') {
        pos = SkipWhiteSpace(line, pos);
        if (pos >= line.size() || line[pos] != u'%') return;
        ++pos;
        continue;
      }
      if (nextTarget >= targets.size()) return;
      if (!Convert(conversion, line, pos, targets[nextTarget++])) return;
      continue;
    }
    if (pos >= line.size() || line[pos] != c) return;
    ++pos;
  }
}

std::u16string TextValue(std::u16string_view line, std::u16string_view pattern) {
  std::u16string_view rest = line.substr(std::min(pattern.size(), line.size()));
  if (!rest.empty() && rest.back() == u']') rest.remove_suffix(1);
  return std::u16string(rest);
}

bool ReadObjectText(RecordReader& reader, std::u16string_view startPattern,
                    std::u16string_view endPattern, std::u16string& text) {
  text.clear();
  size_t depth = 1;  // bounded by the number of lines
  std::u16string_view line;
  while (reader.NextLine(line)) {
    if (KeyMatches(line, startPattern)) {
      ++depth;
    } else if (KeyMatches(line, endPattern)) {
      --depth;
    }
    if (depth == 0) return true;
    text += line;
    text += u'\n';
  }
  return false;
}

namespace records_detail {

bool ReadListEntry(RecordReader& reader, std::u16string_view prefix, std::u16string_view element,
                   std::u16string& text) {
  std::u16string start(prefix);
  start += element;
  std::u16string end = start;
  start += u"_ObjectSTART";
  end += u"_ObjectEND";
  return ReadObjectText(reader, start, end, text);
}

}  // namespace records_detail

}  // namespace q9
