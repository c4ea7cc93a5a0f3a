// JSON text written directly, for documents too large to build as a tree first: kept in blocks of
// 1 MB, so that growing never copies what is already there and memory stays near the text's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace q9x {

class JsonText {
 public:
  static constexpr size_t kBlock = size_t{1} << 20;

  // Appends text as it stands (the caller's own JSON syntax).
  JsonText& operator<<(std::string_view text);
  JsonText& operator<<(const JsonText& other);
  // The shortest text that reads back as the same double. JSON has no infinity or NaN: such a
  // value (which callers keep out) is written as 0.
  JsonText& Number(double value);
  JsonText& Integer(uint64_t value);
  // A quoted JSON string with `"`, `\` and control characters escaped; bytes that are not UTF-8
  // become U+FFFD.
  JsonText& String(std::string_view text);
  // An array of numbers.
  JsonText& Floats(std::initializer_list<double> values);
  JsonText& Floats(const float* values, size_t count);

  size_t size() const { return size_; }
  // The text in order, in pieces of at most kBlock bytes.
  const std::vector<std::string>& blocks() const { return blocks_; }

 private:
  std::vector<std::string> blocks_;
  size_t size_ = 0;
};

}  // namespace q9x
