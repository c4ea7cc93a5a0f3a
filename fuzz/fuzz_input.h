// The fuzz targets' input forms, shared with the seed maker.
//
// A container input is short: the header up to the end of directory entry 1 (all the product
// reads of a header besides entries that are never used), then the bytes from the end of the
// header on. The target puts the header back in its place, so the offsets of the file hold.
// A container target input is the start-up model, then "Q9-UPDATE", then the update; without
// the marker the whole input serves as both. A header target input is such a header part alone,
// with the offsets of entries 0 and 1 counted from the end of the header (ShiftEntryOffsets).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "scene/container_format.h"
#include "scene/scene_container.h"

namespace q9::fuzz {

// The header fields, the name block and directory entries 0 and 1.
constexpr size_t kKeptEntries = 2;
constexpr size_t kKeptHeaderBytes = container::kDirectoryAt + kKeptEntries * container::kEntrySize;
constexpr std::string_view kUpdateMarker = "Q9-UPDATE";

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

// Adds `shift` to the offsets of directory entries 0 and 1 of `header` (the short form or more),
// wrapping as the int32 values do.
inline void ShiftEntryOffsets(std::span<uint8_t> header, int32_t shift) {
  for (size_t index = 0; index < kKeptEntries; ++index) {
    const size_t at =
        container::kDirectoryAt + index * container::kEntrySize + container::kEntryOffsetAt;
    if (at + 4 > header.size()) break;
    const uint32_t offset = container::LoadUint32(&header[at]);
    container::StoreUint32(&header[at], offset + static_cast<uint32_t>(shift));
  }
}

}  // namespace q9::fuzz
