// The fuzz targets' input forms, shared with the seed maker.
//
// A container input is short: the header up to the end of directory entry 1 (all the product
// reads of a header besides entries that are never used), then the bytes from the end of the
// header on. The target puts the header back in its place, so the offsets of the file hold.
// A container target input is the start-up model, then "Q9-UPDATE", then the update; without
// the marker the whole input serves as both.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "scene/scene_container.h"

namespace q9::fuzz {

constexpr size_t kKeptHeaderBytes = 16 + 1024 + 4 + 2 * kDirectoryEntrySize;
constexpr std::string_view kUpdateMarker = "Q9-UPDATE";

// The container that a short input stands for.
inline std::vector<uint8_t> ExpandContainer(std::span<const uint8_t> input) {
  const size_t kept = std::min(input.size(), kKeptHeaderBytes);
  const size_t body = input.size() - kept;
  std::vector<uint8_t> file(kContainerHeaderSize + body, 0);
  std::memcpy(file.data(), input.data(), kept);
  if (body > 0) std::memcpy(file.data() + kContainerHeaderSize, input.data() + kept, body);
  return file;
}

// The short input of a container file.
inline std::vector<uint8_t> CompactContainer(std::span<const uint8_t> file) {
  std::vector<uint8_t> input(file.begin(), file.begin() + std::min(file.size(), kKeptHeaderBytes));
  if (file.size() > kContainerHeaderSize) {
    input.insert(input.end(), file.begin() + kContainerHeaderSize, file.end());
  }
  return input;
}

// The model and update parts of a container target input.
inline std::pair<std::span<const uint8_t>, std::span<const uint8_t>> SplitModelAndUpdate(
    std::span<const uint8_t> input) {
  const std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
  const size_t marker = text.find(kUpdateMarker);
  if (marker == std::string_view::npos) return {input, input};
  return {input.first(marker), input.subspan(marker + kUpdateMarker.size())};
}

}  // namespace q9::fuzz
