#include "picture/json_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/text.h"

namespace q9x {

JsonText& JsonText::operator<<(std::string_view text) {
  while (!text.empty()) {
    if (blocks_.empty() || blocks_.back().size() == kBlock) {
      if (!blocks_.empty()) blocks_.back().shrink_to_fit();
      blocks_.emplace_back();
      // Only a text that has filled one block is taken to be large.
      if (blocks_.size() > 1) blocks_.back().reserve(kBlock);
    }
    std::string& block = blocks_.back();
    const size_t take = std::min(text.size(), kBlock - block.size());
    block.append(text.data(), take);
    text.remove_prefix(take);
    size_ += take;
  }
  return *this;
}

JsonText& JsonText::operator<<(const JsonText& other) {
  for (const std::string& block : other.blocks_) *this << block;
  return *this;
}

JsonText& JsonText::Number(double value) {
  char text[32];
  const std::to_chars_result end = std::to_chars(text, text + sizeof text, std::isfinite(value) ? value : 0.0);
  return *this << std::string_view(text, static_cast<size_t>(end.ptr - text));
}

JsonText& JsonText::Integer(uint64_t value) {
  char text[24];
  const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
  return *this << std::string_view(text, static_cast<size_t>(end.ptr - text));
}

JsonText& JsonText::String(std::string_view text) {
  std::string valid;
  if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
    valid = q9::Utf8FromUtf16(q9::Utf16FromUtf8(text));
    text = valid;
  }
  *this << "\"";
  size_t from = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    *this << text.substr(from, i - from);
    if (c == '"' || c == '\\') {
      const char escaped[2] = {'\\', static_cast<char>(c)};
      *this << std::string_view(escaped, 2);
    } else {
      static const char kHex[] = "0123456789abcdef";
      const char escaped[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
      *this << std::string_view(escaped, 6);
    }
    from = i + 1;
  }
  return *this << text.substr(from) << "\"";
}

JsonText& JsonText::Floats(std::initializer_list<double> values) {
  *this << "[";
  for (const double* v = values.begin(); v != values.end(); ++v) {
    if (v != values.begin()) *this << ",";
    Number(*v);
  }
  return *this << "]";
}

JsonText& JsonText::Floats(const float* values, size_t count) {
  *this << "[";
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) *this << ",";
    Number(values[i]);
  }
  return *this << "]";
}

}  // namespace q9x
