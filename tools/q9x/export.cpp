// q9x export: the received scene as a glTF 2.0 binary file.
#include "q9x/export.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "base/platform.h"
#include "base/text.h"
#include "picture/framing.h"
#include "picture/gltf_writer.h"
#include "q9x/command.h"
#include "q9x/exit_status.h"

namespace q9x {

Outcome<> WriteGlbFile(const ReceivedScene& scene, const std::string& output) {
  const std::u16string path = q9::Utf16FromUtf8(output);
  const std::u16string part = path + u".part";
  std::string error;
  bool written = false;
  {
    q9::platform::UniqueFile file = q9::platform::OpenFile(part, "wb");
    if (!file) return Failure{FailureKind::File, "cannot write " + output + ".part"};
    const GlbSink sink = [&file](std::string_view bytes) {
      return std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    };
    written = WriteGlb(scene, sink, error) && std::fflush(file.get()) == 0;
    if (!written && error.empty()) error = "the file could not take every byte";
  }
  if (written && !q9::platform::RenameFile(part, path, true)) {
    written = false;
    error = "cannot replace it with " + output + ".part";
  }
  if (written) return Done{};
  std::error_code ignored;
  std::filesystem::remove(std::filesystem::path(part), ignored);
  return Failure{FailureKind::File, "cannot write " + output + ": " + error};
}

namespace export_command {

constexpr const char* kHelp = R"(usage: q9x export SOURCE -o FILE.glb
       q9x export --folder DIR [--link LIB] [WORD...] -o FILE.glb

Writes what the renderer holds after the last call it received as a glTF 2.0 binary file: one
node per renderer node with its matrix and meshes, materials as base colours (the map files a
material was sent in its "extras", by property name: a journal holds no texture coordinates, so
the file names no images), a camera node for the current camera and one for each scene, lights
through KHR_lights_punctual. SOURCE and --folder as for "q9x view". The file is written beside
FILE.glb under a temporary name and takes its place when complete. A scene with nothing to draw
(a raw archive, which holds no triangles; nothing received) is written all the same, says why on
standard error, as "q9x view" does, and the exit status is 5.

example:
  q9x export build/windows/demo/journal.jsonl -o scene.glb
)";

struct ExportOptions {
  SceneSource source;
  std::string output;  // the .glb file
};

int Export(const ExportOptions& options, const Context& context) {
  const Outcome<ReadScene> read = LoadScene(options.source, context.err);
  if (!read) return context.Fail("export", read.failure());
  const Outcome<> written = WriteGlbFile(read->scene, options.output);
  if (!written) return context.Fail("export", written.failure());
  context.out << options.output << "\n";
  const std::string nothing = NothingToDraw(*read, BoundsOf(read->scene));
  return nothing.empty() ? kOk : context.Fail("export", NothingToShow(nothing));
}

std::function<int()> Declare(CLI::App& sub, const Context& context) {
  auto options = std::make_shared<ExportOptions>();
  auto arguments = std::make_shared<SceneArguments>();
  arguments->AddTo(sub, options->output);
  return [=, &context] {
    const std::string problem = arguments->Into(options->source);
    if (!problem.empty()) return context.Wrong("export", problem);
    return Export(*options, context);
  };
}

}  // namespace export_command

extern const Command kExportCommand{
    "export",
    "  export SOURCE -o FILE.glb    what the renderer received as a glTF 2.0 binary file\n", export_command::kHelp,
    export_command::Declare};

}  // namespace q9x
