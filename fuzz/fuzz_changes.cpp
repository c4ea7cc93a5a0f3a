// A change list under libFuzzer: the input is the section that entry 0 of a fixed header points
// at, right behind the header, and it is applied as an update of the project last loaded, to the
// scene that the sample model left (its solids and lights are what the list removes), through a
// link library that reads every argument; then the sync record is made from what is left. The
// header (the sample update's, entry 0 made a change list of the sample model's project at the
// end of the header) and the scene are built once.
#include <algorithm>
#include <cstdint>

#include "fuzz_scene.h"
#include "scene/container_format.h"
#include "sync/model_sync.h"

namespace {

std::vector<uint8_t> Header() {
  std::vector<uint8_t> header = q9::fuzz::HeaderOf(q9::fuzz::ReadSample("_mod.sm"));
  // The same project as the model, whatever the samples say: the list is then walked.
  const std::vector<uint8_t> model = q9::fuzz::HeaderOf(q9::fuzz::ReadSample("_model.pdx"));
  const size_t name = q9::container::kDirectoryAt;
  std::copy_n(model.begin() + name, 2 * q9::container::kEntryNameUnits, header.begin() + name);
  q9::fuzz::SetEntry(header, 0, q9::container::kChangeListSectionType, q9::kContainerHeaderSize);
  return header;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static q9::fuzz::SceneTarget target(Header());
  q9::fuzz::SceneInput input(target.scene);
  q9::SceneContainer& container = input.container();
  container.memory = target.file.With({{data, size}});
  container.applyChanges();
  q9::fuzz::Consume(q9::SyncRecordText(container));
  return 0;
}
