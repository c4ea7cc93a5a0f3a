// The view block of a geometry section under libFuzzer: the input is the block's text, in
// UTF-16LE units as the container holds it (an odd last byte lies behind the text), put behind
// its unit count in a section that holds nothing else, behind a fixed header. The section is
// loaded as the start-up load loads one, into the scene that the sample model left (its scenes
// are those the views update finds by name), through a link library that reads every argument.
// A count that the file does not hold is the geometry target's to try. The header (the sample
// model's, entry 0 made a geometry section at the end of the header), the section's head and the
// scene are built once.
#include <cstdint>

#include "fuzz_scene.h"
#include "scene/container_format.h"
#include "scene/geometry_section.h"

namespace {

constexpr int32_t kViewBlockPresent = 1;

// The header and the section's head: no materials, lights or solids, a view block.
std::vector<uint8_t> Front() {
  std::vector<uint8_t> front = q9::fuzz::HeaderOf(q9::fuzz::ReadSample("_model.pdx"));
  q9::fuzz::SetLastEntryIndex(front, 0);
  q9::fuzz::SetEntry(front, 0, q9::container::kGeometrySectionType, q9::kContainerHeaderSize);
  uint8_t head[sizeof(q9::GeometrySectionHeader)] = {};
  q9::container::StoreInt32(head + 12, kViewBlockPresent);  // viewBlockSize
  front.insert(front.end(), std::begin(head), std::end(head));
  return front;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static q9::fuzz::SceneTarget target(Front());
  q9::fuzz::SceneInput input(target.scene);
  q9::SceneContainer& container = input.container();
  uint8_t count[4];
  q9::container::StoreUint32(count, static_cast<uint32_t>(size / 2));
  container.memory = target.file.With({count, {data, size}});
  container.loadSection(0);
  return 0;
}
