#include "base/json_writer.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

namespace q9 {

namespace {

// Whether the bytes at `p` start a UTF-8 sequence (RFC 3629: no overlong forms, no surrogates,
// nothing beyond U+10FFFF). `length` receives the sequence's length, or for an ill-formed one
// the length of its maximal part: the longest start of a well-formed sequence, else 1.
bool Utf8Sequence(const char* p, const char* end, size_t& length) {
  const unsigned lead = static_cast<unsigned char>(*p);
  size_t needed = 0;
  unsigned low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    length = 1;
    return lead < 0x80;
  }
  size_t i = 1;
  for (; i < needed && p + i < end; ++i) {
    const unsigned byte = static_cast<unsigned char>(p[i]);
    if (byte < low || byte > high) break;
    low = 0x80;
    high = 0xBF;
  }
  length = i;
  return i == needed;
}

// A number in std::to_chars' scientific form ("-1.25e+20") laid out as a JSON library prints a
// double: fixed notation while the decimal point falls within 4 places before the first digit
// and 15 after it, a whole number with ".0"; otherwise the digits with an exponent of at least
// two digits.
void AppendWithPoint(std::string& out, const char* first, const char* last) {
  if (*first == '-') {
    out += '-';
    ++first;
  }
  char digits[32];
  int count = 0;
  const char* p = first;
  for (; p < last && *p != 'e'; ++p) {
    if (*p != '.') digits[count++] = *p;
  }
  const bool negativeExponent = p + 1 < last && p[1] == '-';
  int exponent = 0;
  std::from_chars(p + 2, last, exponent);
  if (negativeExponent) exponent = -exponent;
  const std::string_view all(digits, static_cast<size_t>(count));
  const int point = exponent + 1;  // the decimal point's place after the first digit
  if (count <= point && point <= 15) {
    out += all;
    out.append(static_cast<size_t>(point - count), '0');
    out += ".0";
  } else if (point > 0 && point <= 15) {
    out += all.substr(0, static_cast<size_t>(point));
    out += '.';
    out += all.substr(static_cast<size_t>(point));
  } else if (point > -4 && point <= 0) {
    out += "0.";
    out.append(static_cast<size_t>(-point), '0');
    out += all;
  } else {
    out += digits[0];
    if (count > 1) {
      out += '.';
      out += all.substr(1);
    }
    out += negativeExponent ? "e-" : "e+";
    const int magnitude = negativeExponent ? -exponent : exponent;
    if (magnitude < 10) out += '0';
    char text[8];
    out.append(text, std::to_chars(text, text + sizeof text, magnitude).ptr);
  }
}

// A finite `value` (exactly a float when `isFloat`) as the shortest decimal that reads back to
// it, to that float when `isFloat`.
void AppendReal(std::string& out, double value, bool isFloat, JsonReals style) {
  char text[64];
  if (isFloat) {
    const auto written = std::to_chars(text, text + sizeof text, static_cast<float>(value));
    if (style == JsonReals::Shortest) {
      out.append(text, written.ptr);
      return;
    }
    // With a point, a float is the double its shortest decimal reads as ("0.1" and not
    // "0.10000000149011612"), so that it reads back as the same float wherever it goes.
    if (std::fabs(value) >= 16777216.0 || value != std::trunc(value)) std::from_chars(text, written.ptr, value);
  } else if (style == JsonReals::Shortest) {
    out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
    return;
  }
  // Whole numbers below 10^15 (the zeros and ones of most matrices) are their own shortest
  // decimal, in fixed notation: without the search for it.
  if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
    if (value == 0) {
      out += std::signbit(value) ? "-0.0" : "0.0";
    } else {
      out.append(text, std::to_chars(text, text + sizeof text, static_cast<int64_t>(value)).ptr);
      out += ".0";
    }
    return;
  }
  AppendWithPoint(out, text, std::to_chars(text, text + sizeof text, value, std::chars_format::scientific).ptr);
}

}  // namespace

void AppendJsonEscaped(std::string& out, std::string_view text, const JsonEscaping& escaping) {
  static const char kHex[] = "0123456789abcdef";
  const char* p = text.data();
  const char* const end = p + text.size();
  const char* run = p;  // the start of the bytes that stay as they are
  while (p < end) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c >= 0x20 && c != '"' && c != '\\' && (c < 0x80 || !escaping.replaceInvalidUtf8)) {
      ++p;
      continue;
    }
    if (c >= 0x80) {
      size_t length = 1;
      const bool valid = Utf8Sequence(p, end, length);
      if (!valid) {
        out.append(run, p);
        out += "\xEF\xBF\xBD";
        run = p + length;
      }
      p += length;
      continue;
    }
    out.append(run, p);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b':
        if (escaping.shortBackspaceAndFormFeed) {
          out += "\\b";
          break;
        }
        [[fallthrough]];
      case '\f':
        if (c == '\f' && escaping.shortBackspaceAndFormFeed) {
          out += "\\f";
          break;
        }
        [[fallthrough]];
      default: {
        const char escaped[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
        out.append(escaped, 6);
      }
    }
    run = ++p;
  }
  out.append(run, p);
}

void AppendJsonString(std::string& out, std::string_view text, const JsonEscaping& escaping) {
  out += '"';
  AppendJsonEscaped(out, text, escaping);
  out += '"';
}

JsonWriter::JsonWriter(std::string& out, const JsonOptions& options)
    : options_(options), destination_(Destination::String), text_(&out),
      block_(std::numeric_limits<size_t>::max()) {}

JsonWriter::JsonWriter(Sink sink, const JsonOptions& options)
    : options_(options), destination_(Destination::Sink), text_(&gathered_), block_(kSinkBlock),
      sink_(std::move(sink)) {
  gathered_.reserve(kSinkBlock + 4096);
}

JsonWriter::JsonWriter(const JsonOptions& options)
    : options_(options), destination_(Destination::Memory), block_(kMemoryBlock), blocks_(1) {
  text_ = &blocks_.back();
}

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (levels_.empty()) return;
  Level& level = levels_.back();
  if (!level.empty) *text_ += level.oneLine ? ", " : ",";
  level.empty = false;
  if (!level.oneLine) NewLine(levels_.size());
}

void JsonWriter::NewLine(size_t depth) {
  if (!options_.indented) return;
  *text_ += '\n';
  text_->append(2 * depth, ' ');
}

void JsonWriter::Open(char bracket, bool oneLine) {
  BeforeValue();
  *text_ += bracket;
  // Within a line, everything stays on it; compact, every level is one line with "," between.
  const bool inLine = !levels_.empty() && levels_.back().oneLine;
  levels_.push_back({options_.indented && (oneLine || inLine)});
}

void JsonWriter::Close(char bracket) {
  const Level level = levels_.back();
  levels_.pop_back();
  if (!level.empty && !level.oneLine) NewLine(levels_.size());
  *text_ += bracket;
  Step();
}

void JsonWriter::BeginObject() { Open('{', false); }
void JsonWriter::EndObject() { Close('}'); }
void JsonWriter::BeginArray(bool oneLine) { Open('[', oneLine); }
void JsonWriter::EndArray() { Close(']'); }

void JsonWriter::Key(std::string_view key) {
  BeforeValue();
  AppendJsonString(*text_, key, options_.escaping);
  *text_ += options_.indented ? ": " : ":";
  afterKey_ = true;
}

JsonWriter& JsonWriter::String(std::string_view text) {
  BeforeValue();
  AppendJsonString(*text_, text, options_.escaping);
  Step();
  return *this;
}

JsonWriter& JsonWriter::Int(int64_t value) {
  BeforeValue();
  char text[24];
  text_->append(text, std::to_chars(text, text + sizeof text, value).ptr);
  Step();
  return *this;
}

JsonWriter& JsonWriter::Unsigned(uint64_t value) {
  BeforeValue();
  char text[24];
  text_->append(text, std::to_chars(text, text + sizeof text, value).ptr);
  Step();
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  BeforeValue();
  *text_ += value ? "true" : "false";
  Step();
  return *this;
}

JsonWriter& JsonWriter::Null() {
  BeforeValue();
  *text_ += "null";
  Step();
  return *this;
}

void JsonWriter::Real(double value, bool isFloat) {
  if (!std::isfinite(value)) {
    switch (options_.nonFinite) {
      case JsonNonFinite::Null:
        Null();
        return;
      case JsonNonFinite::Zero:
        value = 0;
        break;
      case JsonNonFinite::Text:
        String(std::isnan(value) ? "nan" : value > 0 ? "inf" : "-inf");
        return;
    }
  }
  BeforeValue();
  AppendReal(*text_, value, isFloat, options_.reals);
  Step();
}

JsonWriter& JsonWriter::Number(double value) {
  Real(value, false);
  return *this;
}

JsonWriter& JsonWriter::Number(float value) {
  Real(value, true);
  return *this;
}

JsonWriter& JsonWriter::Numbers(const float* values, size_t count) {
  BeginArray(true);
  for (size_t i = 0; i < count; ++i) Number(values[i]);
  EndArray();
  return *this;
}

JsonWriter& JsonWriter::Numbers(std::initializer_list<double> values) {
  BeginArray(true);
  for (const double value : values) Number(value);
  EndArray();
  return *this;
}

JsonWriter& JsonWriter::operator<<(std::string_view json) {
  if (destination_ != Destination::Memory) {
    text_->append(json);
    Step();
    return *this;
  }
  // In pieces that fill each block, so that no block grows beyond its room.
  while (!json.empty()) {
    const size_t take = std::min(json.size(), kMemoryBlock - std::min(kMemoryBlock, text_->size()));
    text_->append(json.data(), take);
    json.remove_prefix(take);
    Step();
  }
  return *this;
}

JsonWriter& JsonWriter::operator<<(const JsonWriter& other) {
  for (const std::string& block : other.blocks_) *this << block;
  return *this;
}

void JsonWriter::Spill() {
  switch (destination_) {
    case Destination::String:
      return;
    case Destination::Sink:
      Flush();
      return;
    case Destination::Memory:
      break;
  }
  // A full block stays where it is; what a value wrote beyond it starts the next one.
  while (text_->size() >= kMemoryBlock) {
    std::string next;
    // Only a text that has filled one block is taken to be large.
    next.reserve(kMemoryBlock);
    next.assign(*text_, kMemoryBlock);
    text_->resize(kMemoryBlock);
    text_->shrink_to_fit();
    handedOn_ += kMemoryBlock;
    blocks_.push_back(std::move(next));
    text_ = &blocks_.back();
  }
}

bool JsonWriter::Flush() {
  if (destination_ != Destination::Sink) return ok_;
  if (ok_ && !text_->empty()) ok_ = sink_(*text_);
  handedOn_ += text_->size();
  text_->clear();
  return ok_;
}

}  // namespace q9
