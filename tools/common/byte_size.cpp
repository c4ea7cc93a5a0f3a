#include "common/byte_size.h"

#include <cctype>
#include <charconv>
#include <cstdio>

namespace q9x {

std::optional<int64_t> ParseByteSize(std::string_view text) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  std::string unit(end, text.data() + text.size());
  for (char& c : unit) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  int shift = 0;
  if (!unit.empty()) {
    const std::string_view units = "KMGT";
    const size_t index = units.find(unit[0]);
    const std::string_view rest = std::string_view(unit).substr(1);
    if (index == std::string_view::npos || !(rest.empty() || rest == "B" || rest == "IB")) {
      return std::nullopt;
    }
    shift = 10 * static_cast<int>(index + 1);
  }
  constexpr uint64_t kMost = uint64_t{1} << 62;
  if (value == 0 || value > (kMost >> shift)) return std::nullopt;
  return static_cast<int64_t>(value << shift);
}

std::string ShownByteSize(int64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes) / 1024;
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(units)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

}  // namespace q9x
