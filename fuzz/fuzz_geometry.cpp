// A geometry section under libFuzzer: the input is the section that entry 0 of a fixed header
// points at, right behind the header, and it is loaded as the start-up load loads a section,
// into the scene that the sample model left, through a link library that reads every argument;
// then the sync record is made from what was sent. The header (the sample model's, entry 0 made
// a geometry section at the end of the header) and the scene are built once.
#include <cstdint>

#include "fuzz_scene.h"
#include "scene/container_format.h"
#include "sync/model_sync.h"

namespace {

// Inputs that take longer are run, never kept (fuzz_scene.h, CorpusGate). Kept inputs settle near
// the limit: a table that visits an item more often reaches a higher hit count, which the fuzzer
// counts as new. The minimised corpus gives the same coverage under 1 ms as under 2.
constexpr std::chrono::microseconds kKeptWork = std::chrono::milliseconds(1);

std::vector<uint8_t> Header() {
  std::vector<uint8_t> header = q9::fuzz::HeaderOf(q9::fuzz::ReadSample("_model.pdx"));
  q9::fuzz::SetLastEntryIndex(header, 0);
  q9::fuzz::SetEntry(header, 0, q9::container::kGeometrySectionType, q9::kContainerHeaderSize);
  return header;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static q9::fuzz::SceneTarget target(Header());
  q9::fuzz::SceneInput input(target.scene);
  q9::SceneContainer& container = input.container();
  const q9::fuzz::CorpusGate gate(kKeptWork);
  container.memory = target.file.With({{data, size}});
  container.loadSection(0);
  q9::fuzz::Consume(q9::SyncRecordText(container));
  return gate.Verdict();
}
