// The scene container under libFuzzer, for the interplay of its parts: a start-up load of the
// model, then an update applied (change list and section), and the sync record, all read from
// memory through the bounded reader and sent to a link library that reads every argument. Each
// input gets a fresh container and session; the two files are built in buffers that hold their
// header of zeros from one input to the next (fuzz_scene.h).
#include <dlfcn.h>

#include <cstdint>

#include "base/text.h"
#include "fuzz_input.h"
#include "fuzz_scene.h"
#include "scene/scene_container.h"
#include "sync/model_sync.h"

namespace {

// Inputs that take longer are run, never kept (fuzz_scene.h, CorpusGate).
constexpr std::chrono::microseconds kKeptWork = std::chrono::milliseconds(20);

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Held loaded for the whole run, so that each session's load and unload is only a count.
  dlopen(Q9_TOUCH_LINK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto [modelPart, updatePart] = q9::fuzz::SplitModelAndUpdate({data, size});
  static q9::fuzz::TailFile modelFile(std::vector<uint8_t>(q9::kContainerHeaderSize, 0));
  static q9::fuzz::TailFile updateFile(std::vector<uint8_t>(q9::kContainerHeaderSize, 0));
  const std::span<const uint8_t> model = q9::fuzz::ExpandInto(modelFile, modelPart);
  const std::span<const uint8_t> update = q9::fuzz::ExpandInto(updateFile, updatePart);

  const q9::fuzz::CorpusGate gate(kKeptWork);
  q9::ProcessState process(q9::fuzz::NoFolder());
  q9::fuzz::Silence(process);
  q9::SceneContainer container(process);
  container.session.libraryPath = q9::Utf16FromUtf8(Q9_TOUCH_LINK_LIBRARY);
  container.memory = model;
  if (!q9::loadStartupModel(container)) __builtin_trap();  // the library is always there
  container.memory = update;
  q9::modelSyncApply(container, false);
  q9::fuzz::Consume(q9::SyncRecordText(container));
  return gate.Verdict();
}
