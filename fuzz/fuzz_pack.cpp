// The pack command's description under libFuzzer: the input is a description's JSON text,
// packed into memory as `q9x pack` packs it, with the variable "project" defined.
//
// The fuzzer must not read the machine's files nor fill its memory: files may be named only below
// the description's folder (filesInFolderOnly), a scratch folder made for the run that holds a
// copy of the samples' materials, lights, meshes and views; and a container may have no more than
// kMaxBytes. Checked beyond the sanitizers: a packed container keeps to that limit.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "pack/container_sink.h"
#include "pack/pack_description.h"
#include "scene/container_format.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMaxBytes = q9::container::kHeaderSize + 256 * 1024;

// The scratch folder, removed when the run ends normally.
struct Folder {
  Folder() {
    char name[] = "/tmp/q9-fuzz-pack-XXXXXX";
    if (mkdtemp(name) == nullptr) std::abort();
    path = name;
    const fs::path samples = Q9_SOURCE_SAMPLES;
    for (const char* part : {"materials", "lights", "meshes", "views.txt"}) {
      fs::copy(samples / part, path / part, fs::copy_options::recursive);
    }
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  fs::path path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Folder folder;
  const nlohmann::json description = nlohmann::json::parse(data, data + size, nullptr, false);
  if (description.is_discarded()) return 0;
  q9x::PackOptions options;
  options.defines["project"] = "C:\\Projects\\Villa\\Villa.pln";
  options.limits.maxBytes = kMaxBytes;
  options.filesInFolderOnly = true;
  q9x::MemorySink sink;
  const q9x::PackResult result =
      q9x::PackContainer(description, folder.path.string(), sink, options);
  if (result.ok && sink.bytes().size() > kMaxBytes) std::abort();
  return 0;
}
