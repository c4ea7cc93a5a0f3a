// The scene container under libFuzzer: a start-up load of the model, then an update applied
// (change list and section), and the sync record, all read from memory through the bounded
// reader and sent to a link library that reads every argument.
#include <dlfcn.h>

#include <cstdint>
#include <optional>

#include "base/text.h"
#include "fuzz_input.h"
#include "scene/scene_container.h"
#include "sync/model_sync.h"

namespace {

q9::ExchangeFolder NoFolder() {
  q9::ExchangeFolder folder([](const std::u16string&, size_t) { return std::nullopt; },
                            [](const std::u16string&, const std::u16string&, uint32_t) {
                              return std::optional<std::u16string>();
                            });
  // A folder that does not exist: log lines and record files go nowhere.
  folder.Fix(u"/nonexistent-q9-fuzz");
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Held loaded for the whole run, so that each session's load and unload is only a count.
  dlopen(Q9_TOUCH_LINK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto [modelPart, updatePart] = q9::fuzz::SplitModelAndUpdate({data, size});
  const std::vector<uint8_t> model = q9::fuzz::ExpandContainer(modelPart);
  const std::vector<uint8_t> update = q9::fuzz::ExpandContainer(updatePart);

  q9::ProcessState process(NoFolder());
  process.showErrorMessage = [](const std::u16string&, const std::u16string&) {};
  q9::SceneContainer container(process);
  container.session.libraryPath = q9::Utf16FromUtf8(Q9_TOUCH_LINK_LIBRARY);
  container.memory = std::span<const uint8_t>(model);
  if (!q9::loadStartupModel(container)) __builtin_trap();  // the library is always there
  container.memory = std::span<const uint8_t>(update);
  q9::modelSyncApply(container, false);
  const std::string record = q9::SyncRecordText(container);
  volatile size_t sink = record.size();
  (void)sink;
  return 0;
}
