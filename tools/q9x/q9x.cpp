#include "q9x.h"

#include <map>

#include <nlohmann/json.hpp>

#include "container_writer.h"
#include "gltf_export.h"
#include "inspect.h"
#include "run.h"
#include "summary.h"
#include "tool_files.h"
#include "view.h"

namespace q9x {

namespace {

constexpr const char* kHelp = R"(q9x - scene containers and the working instance, without a window

usage: q9x COMMAND [ARGUMENTS]

commands:
  inspect FILE [--json]        explain a container ("_model.pdx", "_mod.sm"): header, directory,
                               each section decoded, and where it is damaged
  pack DESCRIPTION.json OUT    write a container from a JSON description
  run [--folder DIR] [--link LIB] WORD...
                               do a working instance's work: start-up load, then the requests
  summary FILE [--json]        what reached the renderer, from the reference link library's
                               raw archive (.q9a) or journal
  view SOURCE -o FILE.png [--scene NAME] [--size WxH]
                               a picture of what the renderer received, from its camera
  export SOURCE -o FILE.glb    what the renderer received as a glTF 2.0 binary file
  help [COMMAND]               this text, or a command's

examples:
  q9x inspect build/native/samples/_model.pdx
  q9x pack samples/model.json _model.pdx
  q9x run --folder build/native/samples ModelSync lightSync ModelSync
  q9x summary build/native/samples/Villa.q9a
  q9x view calls.jsonl -o view.png

"q9x help COMMAND" or "q9x COMMAND --help" tells more. Exit status: 0 done, 1 a file could not
be read or written, 2 a wrong command line, 3 (run) the renderer is missing.
)";

constexpr const char* kInspectHelp = R"(usage: q9x inspect FILE [--json]

Reads a scene container without changing it and prints:
  - the file's length and header (reserved fields, header size, name, preserved word,
    lastEntryIndex);
  - each directory entry in use (and any other entry that is not empty): project path, type,
    section offset;
  - each section, decoded by the system's own readers: for a geometry section its header, the
    material records (name, index, time stamp, maps), the light records, the solids with their
    ids, time stamps, node names, meshes and triangle counts, and the views; for a change list
    each item's kind and ids;
  - where a section is damaged: a count or text cut by the end of the file, an offset outside
    the file, a read past the end, tables that point at the same items again and again.
A file shorter than a header is reported as such (the system would write a fresh header over it).

--json   the same as one JSON document

example:
  q9x inspect "%APPDATA%\Vendrix\Plandora2025_Q9Plugin\Data\_mod.sm"
)";

constexpr const char* kPackHelp = R"(usage: q9x pack DESCRIPTION.json OUT [--set NAME=VALUE]...

Writes the container OUT from a JSON description; files it names (material, light and view
texts, OBJ meshes) are found relative to the description. "${NAME}" in any text of the
description is replaced by the value its "defines" object gives, or that --set gives. Outline:
{
  "header": { "name": "Villa" },                      // any header field may be given
  "entries": [
    { "name": "C:\\Projects\\Villa.pln",
      "geometry": {
        "materials": [ { "file": "materials/oak.txt" } ],
        "lights":    [ { "text": "..." } ],
        "solids":    [ { "id": 1, "timeStamp": 7, "name": "Wall",
                         "meshes": [ { "name": "wall", "obj": "wall.obj" },
                                     { "name": "sill", "arrays": { "1": [0,0,0, 1,0,0, 0,1,0] } } ] } ],
        "views":     { "file": "views.txt" } } },
    { "name": "C:\\Projects\\Villa.pln",
      "changeList": { "items": [ { "kind": "Solid", "ids": [1] } ] } }
  ]
}
Offsets, counts and lengths are computed unless given. For damaged files any of them may be
overridden ("offset", "offsetValue", "textBytes", "headerLength", "counts", "materialCount",
"solidCount", "meshCount", "idCount", the section header fields, ...), "patches" write values
at any offset ({ "entry": 1, "at": 24, "int32": -1 }) and "truncate" cuts the file. Mesh arrays
from an OBJ file: array 1 positions, array 5 normals, array 2 texture coordinates.
The full format is described at the top of tools/q9x/container_writer.h.

example:
  q9x pack samples/model.json build/native/samples/_model.pdx
)";

constexpr const char* kRunHelp = R"(usage: q9x run [--folder DIR] [--link LIB] WORD...

Does what the working instance does, without a window:
  1. acts as an instance started with the first WORD: writes "Args - " and the word to the log,
     sets the request ("cameraSync", "ModelSync", "lightSync", "viewsSync") or the colour mode
     ("colorMode");
  2. runs the start-up load: "_model.pdx" from the exchange folder to the renderer; when the
     renderer is missing, prints the message's caption and text to standard error and exits
     with status 3;
  3. handles the first word's request;
  4. handles each further WORD as if another instance had posted it: a command word as its
     message, a number from 1025 to 1029 as that message (1027 applies "_mod.sm" with log
     lines), "colorMode" and any other word post nothing;
  5. tears the session down and exits with status 0.
Each notification of the host prints "host notified: 1137 0 10" on standard output.

--folder DIR   the exchange folder; otherwise the system's lookup (APPDATA, then the registry)
--link LIB     the link library; otherwise the reference library beside q9x
               (Q9Plugin.dll on Windows, libQ9Plugin.so natively). The reference library writes
               a journal of every call when Q9PLUGIN_JOURNAL names a file, and its raw archive
               beside the model file (see tools/q9plugin/README.md).

example:
  Q9PLUGIN_JOURNAL=calls.jsonl q9x run --folder build/native/samples ModelSync lightSync ModelSync
)";

constexpr const char* kSummaryHelp = R"(usage: q9x summary FILE [--json]

Prints what reached the renderer through the reference link library:
  - for a raw archive (.q9a): the model, its materials, lights, nodes with meshes and triangle
    counts, scenes and camera;
  - for a journal (one JSON call per line): each call with long arrays shortened, the number of
    calls of each function, then the scene the calls leave (as for an archive).
A file that is neither is named with its first line that is not a journal call (exit 1).

--json   the same as one JSON document

example:
  q9x summary build/native/samples/Villa.q9a
)";

constexpr const char* kViewHelp = R"(usage: q9x view SOURCE -o FILE.png [--scene NAME] [--size WxH]
       q9x view --folder DIR [--link LIB] [WORD...] -o FILE.png [--scene NAME] [--size WxH]

Draws what the renderer holds after the last call it received, as seen from the camera last
sent (SendCameraTransformFov) or from the scene NAME (AddScene): triangles shaded by their
normal against a light at the eye, in their material's diffuse colour (a diffuse map as grey
with the colour's tint), lights as small squares, and a caption line (source, camera, counts).
SOURCE is a journal of the reference link library or its raw archive (which holds no
triangles); --folder runs the exchange folder as "q9x run" does (start-up load, then the
WORDs' requests) and draws what that sent. The renderer's field of view is read as the
picture's horizontal angle. Default size 1280x720.

example:
  q9x view build/windows/demo/journal.jsonl -o view.png --size 1920x1080
)";

constexpr const char* kExportHelp = R"(usage: q9x export SOURCE -o FILE.glb
       q9x export --folder DIR [--link LIB] [WORD...] -o FILE.glb

Writes what the renderer holds after the last call it received as a glTF 2.0 binary file: one
node per renderer node with its matrix and meshes, materials as base colours (a diffuse map as
an image by URI), a camera node for the current camera and one for each scene, lights through
KHR_lights_punctual. SOURCE and --folder as for "q9x view".

example:
  q9x export build/windows/demo/journal.jsonl -o scene.glb
)";

// SOURCE or --folder DIR [--link LIB] [WORD...], -o FILE and the options in `extra` (each with a
// value). False on a wrong command line.
bool ParseSceneArgs(const std::vector<std::string>& args, SceneSource& source, std::string& output,
                    std::map<std::string, std::string>& extra) {
  std::vector<std::string> words;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takesValue = arg == "-o" || arg == "--folder" || arg == "--link" || extra.count(arg);
    if (takesValue) {
      if (i + 1 >= args.size()) return false;
      const std::string& value = args[++i];
      if (arg == "-o") output = value;
      else if (arg == "--folder") source.folder = value;
      else if (arg == "--link") source.link = value;
      else extra[arg] = value;
    } else if (arg.starts_with("-")) {
      return false;
    } else {
      words.push_back(arg);
    }
  }
  if (output.empty()) return false;
  if (source.folder) {
    source.words = words;
  } else {
    if (words.size() != 1 || source.link) return false;
    source.file = words[0];
  }
  return true;
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

int Usage(std::ostream& err, const char* help) {
  err << help;
  return kUsage;
}

int Inspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string file;
  bool asJson = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--json") {
      asJson = true;
    } else if (file.empty()) {
      file = args[i];
    } else {
      return Usage(err, kInspectHelp);
    }
  }
  if (file.empty()) return Usage(err, kInspectHelp);
  const nlohmann::json inspection = InspectContainer(file);
  if (inspection.is_null()) {
    err << "q9x inspect: cannot open " << file << "\n";
    return kFailed;
  }
  if (asJson) {
    out << inspection.dump(2) << "\n";
  } else {
    PrintInspection(inspection, out);
  }
  return kOk;
}

int Pack(const std::vector<std::string>& args, std::ostream& err) {
  if (args.size() < 3) return Usage(err, kPackHelp);
  std::map<std::string, std::string> defines;
  for (size_t i = 3; i < args.size(); ++i) {
    if (args[i] != "--set" || i + 1 >= args.size()) return Usage(err, kPackHelp);
    const std::string& definition = args[++i];
    const size_t split = definition.find('=');
    if (split == std::string::npos) return Usage(err, kPackHelp);
    defines[definition.substr(0, split)] = definition.substr(split + 1);
  }
  const std::optional<std::string> text = ReadWholeFile(args[1]);
  if (!text) {
    err << "q9x pack: cannot read " << args[1] << "\n";
    return kFailed;
  }
  const nlohmann::json description = nlohmann::json::parse(*text, nullptr, false, true);
  if (description.is_discarded() || !description.is_object()) {
    err << "q9x pack: " << args[1] << " is not a JSON object\n";
    return kFailed;
  }
  const PackResult packed = PackContainer(description, FolderOf(args[1]), defines);
  if (!packed.ok) {
    err << "q9x pack: " << args[1] << ": " << packed.error << "\n";
    return kFailed;
  }
  if (!packed.warning.empty()) err << "q9x pack: warning: " << packed.warning << "\n";
  if (!WriteWholeFile(args[2], packed.bytes)) {
    err << "q9x pack: cannot write " << args[2] << "\n";
    return kFailed;
  }
  return kOk;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  RunOptions options;
  size_t i = 1;
  for (; i < args.size(); ++i) {
    if (args[i] == "--folder" || args[i] == "--link") {
      if (i + 1 >= args.size()) return Usage(err, kRunHelp);
      (args[i] == "--folder" ? options.folder : options.link) = args[i + 1];
      ++i;
    } else {
      break;
    }
  }
  options.words.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  return RunWorkingInstance(options, out, err);
}

int Summary(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  SummaryOptions options;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--json") options.asJson = true;
    else if (options.file.empty()) options.file = args[i];
    else return Usage(err, kSummaryHelp);
  }
  if (options.file.empty()) return Usage(err, kSummaryHelp);
  return SummaryCommand(options, out, err);
}

int View(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ViewOptions options;
  std::map<std::string, std::string> extra{{"--scene", ""}, {"--size", ""}};
  if (!ParseSceneArgs(args, options.source, options.output, extra)) return Usage(err, kViewHelp);
  if (!extra["--scene"].empty()) options.scene = extra["--scene"];
  if (!extra["--size"].empty() && !ParseSize(extra["--size"], options.width, options.height)) {
    return Usage(err, kViewHelp);
  }
  return ViewCommand(options, out, err);
}

int Export(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ExportOptions options;
  std::map<std::string, std::string> extra;
  if (!ParseSceneArgs(args, options.source, options.output, extra)) return Usage(err, kExportHelp);
  return ExportCommand(options, out, err);
}

const char* CommandHelp(const std::string& command) {
  if (command == "inspect") return kInspectHelp;
  if (command == "pack") return kPackHelp;
  if (command == "run") return kRunHelp;
  if (command == "summary") return kSummaryHelp;
  if (command == "view") return kViewHelp;
  if (command == "export") return kExportHelp;
  return nullptr;
}

}  // namespace

int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return Usage(err, kHelp);
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    if (args.size() > 1) {
      const char* help = CommandHelp(args[1]);
      if (!help) return Usage(err, kHelp);
      out << help;
    } else {
      out << kHelp;
    }
    return kOk;
  }
  const char* help = CommandHelp(command);
  if (!help) {
    err << "q9x: unknown command \"" << command << "\"\n\n";
    return Usage(err, kHelp);
  }
  // "run" passes its words on unread: "--help" there is only a request for help before them.
  if (command != "run" ? WantsHelp(args) : (args.size() > 1 && WantsHelp({args[1]}))) {
    out << help;
    return kOk;
  }
  if (command == "inspect") return Inspect(args, out, err);
  if (command == "pack") return Pack(args, err);
  if (command == "run") return Run(args, out, err);
  if (command == "view") return View(args, out, err);
  if (command == "export") return Export(args, out, err);
  return Summary(args, out, err);
}

}  // namespace q9x
