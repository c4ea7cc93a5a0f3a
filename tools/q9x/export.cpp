// q9x export: the received scene as a glTF 2.0 binary file.
#include <memory>

#include "common/files.h"
#include "picture/gltf_writer.h"
#include "q9x/command.h"
#include "q9x/exit_status.h"

namespace q9x {

namespace {

constexpr const char* kHelp = R"(usage: q9x export SOURCE -o FILE.glb
       q9x export --folder DIR [--link LIB] [WORD...] -o FILE.glb

Writes what the renderer holds after the last call it received as a glTF 2.0 binary file: one
node per renderer node with its matrix and meshes, materials as base colours (a diffuse map as
an image by URI), a camera node for the current camera and one for each scene, lights through
KHR_lights_punctual. SOURCE and --folder as for "q9x view".

example:
  q9x export build/windows/demo/journal.jsonl -o scene.glb
)";

struct ExportOptions {
  SceneSource source;
  std::string output;  // the .glb file
};

int Export(const ExportOptions& options, std::ostream& out, std::ostream& err) {
  LoadFailure failure{};
  const std::optional<ReadScene> read = LoadScene(options.source, err, failure);
  if (!read) return LoadFailureStatus(failure);
  if (!WriteWholeFile(options.output, ExportGlb(read->scene))) {
    err << "q9x export: cannot write " << options.output << "\n";
    return kFailed;
  }
  out << options.output << "\n";
  return kOk;
}

std::function<int()> Declare(CLI::App& sub, const Context& context) {
  auto options = std::make_shared<ExportOptions>();
  auto arguments = std::make_shared<SceneArguments>();
  arguments->AddTo(sub, options->output);
  return [=, &context] {
    const std::string problem = arguments->Into(options->source);
    if (!problem.empty()) return context.Wrong("export", problem);
    return Export(*options, context.out, context.err);
  };
}

}  // namespace

extern const Command kExportCommand{
    "export",
    "  export SOURCE -o FILE.glb    what the renderer received as a glTF 2.0 binary file\n", kHelp,
    Declare};

}  // namespace q9x
