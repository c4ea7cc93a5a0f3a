// Change lists: entry 0 of an update "_mod.sm" names what the host changed since the last sync.
//
// Layout (offsets from the section's first byte): uint32 n, then n int32 values; values 0, 2, 4,
// ... are item offsets, values 1, 3, 5, ... are not interpreted. Item: one string, the kind
// ("Solid" or "Material"; others are skipped), then an id list (uint32 count, uint32 ids).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "scene/container_reader.h"

namespace q9 {

// Walks the change list at absolute offset `base`: for each item, in table order, reads its kind
// and calls `item` with the reader positioned on the item's id list. The table's count is cut to
// what the file holds, and the walk stops when the reader's work budget is spent. Any bytes are
// safe (fuzzed); it holds one kind text at a time, at most the file's length.
void WalkChangeList(ContainerReader& reader, int64_t base,
                    const std::function<void(int64_t at, const std::u16string& kind)>& item);

}  // namespace q9
