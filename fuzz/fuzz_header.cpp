// The header and directory of a scene container under libFuzzer: the input is the header's short
// form (fuzz_input.h: its fields, the name and entries 0 and 1; the other entries are zero), and
// the sections behind it are fixed: those of entries 0 and 1 of the small sections packed for
// the seeds (a change list, and a geometry section with a material, a light and a solid). Only
// they, so that an offset that lands amid their bytes meets tables of a few hundred items at
// most. The file gets the work of a start-up load and of an update (entry 0 loaded
// as a section, the change list applied, entry 1 loaded), in the scene that the sample model
// left, through a link library that reads every argument; then the sync record is made. The
// sections and the scene are built once.
//
// The input gives the offsets of entries 0 and 1 from the end of the header: the target adds
// 208644, so that the fuzzer's small numbers land in the sections. An offset into the header
// itself is still there to try (from -208644 to -1) but rarely met: there the name and the
// directory read as tables of some 50 000 items each, a run of a second for one input, which
// the geometry and container targets meet anyway.
#include <algorithm>
#include <cstdint>

#include "fuzz_input.h"
#include "fuzz_scene.h"
#include "sync/model_sync.h"

namespace {

// Inputs that take longer are run, never kept (fuzz_scene.h, CorpusGate).
constexpr std::chrono::microseconds kKeptWork = std::chrono::milliseconds(1);

struct Target {
  Target() : file(std::vector<uint8_t>(q9::kContainerHeaderSize, 0)) {
    const std::vector<uint8_t> packed = q9::fuzz::ReadSeedSections();
    // Up to the section of entry 2, which follows those of entries 0 and 1.
    const size_t header = q9::kContainerHeaderSize;
    const int32_t entry2 = q9::container::LoadInt32(
        &packed.at(q9::container::kDirectoryAt + 2 * q9::container::kEntrySize +
                   q9::container::kEntryOffsetAt));
    const size_t end = entry2 > 0 ? std::min(packed.size(), static_cast<size_t>(entry2)) : 0;
    if (end > header) sections.assign(packed.begin() + header, packed.begin() + end);
  }

  q9::fuzz::SampleScene scene;
  q9::fuzz::TailFile file;
  std::vector<uint8_t> sections;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Target target;
  q9::fuzz::SceneInput input(target.scene);
  q9::SceneContainer& container = input.container();
  const q9::fuzz::CorpusGate gate(kKeptWork);
  // Bytes beyond the header's short form are not read: the sections are the fixed ones.
  const std::span<const uint8_t> header(data, std::min(size, q9::fuzz::kKeptHeaderBytes));
  container.memory = q9::fuzz::ExpandInto(target.file, header, target.sections);
  q9::fuzz::ShiftEntryOffsets(target.file.front(), q9::kContainerHeaderSize);
  container.loadSection(0);
  container.applyChanges();
  container.loadSection(1);
  q9::fuzz::Consume(q9::SyncRecordText(container));
  return gate.Verdict();
}
