// Sizes on the command line and in reports: "2G", "500M", "64K" or bytes; "1.3 GiB" shown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace q9x {

// A whole number of bytes, optionally followed by K, M, G or T (powers of 1 024, with or without
// "iB" or "B", either case): "2G", "2GiB", "500m", "1048576". Nothing for any other text, 0, or a
// size beyond 2^62.
std::optional<int64_t> ParseByteSize(std::string_view text);

// The size with one decimal in the largest unit it reaches: "812 bytes", "48.2 KiB", "1.3 GiB".
std::string ShownByteSize(int64_t bytes);

}  // namespace q9x
