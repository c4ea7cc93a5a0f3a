#include "q9x.h"

#include <chrono>
#include <deque>
#include <functional>
#include <iostream>
#include <map>
#include <memory>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "base/text.h"
#include "base/version.h"
#include "container_writer.h"
#include "description_check.h"
#include "doctor.h"
#include "gltf_export.h"
#include "inspect.h"
#include "run.h"
#include "summary.h"
#include "tool_files.h"
#include "tool_platform.h"
#include "view.h"

namespace q9x {

namespace {

constexpr const char* kHelp = R"(q9x - scene containers and the working instance, without a window

usage: q9x COMMAND [ARGUMENTS]

commands:
  inspect FILE [--json]        explain a container ("_model.pdx", "_mod.sm"): header, directory,
                               each section decoded, and where it is damaged
  pack DESCRIPTION.json OUT    write a container from a JSON description
  run [--folder DIR] [--link LIB] [--archive-dir DIR] WORD...
                               do a working instance's work: start-up load, then the requests
  doctor [--folder DIR] [--link LIB] [--json]
                               check the exchange folder, its files, the log and the link
                               library (and on Windows the host and renderer windows)
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
  q9x doctor
  q9x view build/windows/demo/journal.jsonl -o view.png

"q9x help COMMAND" or "q9x COMMAND --help" tells more; "q9x --version" the version. Exit status:
0 done, 1 a file could not be read or written (doctor: a problem found), 2 a wrong command line,
3 (run) the renderer is missing, 4 (inspect) the container is damaged.
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

--json   the same as one JSON document; each damage is an object with "offset", "what" (what
         was being read), "kind" (offsetOutside, pastEnd, countCut, budgetSpent, short) and
         "message"

Exit status: 0 intact, 4 damaged (a damaged read, or a file shorter than a header that is not
empty), 1 the file cannot be read (or is a folder).

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
The description is checked before anything is written: unknown keys, values of the wrong type,
and places and sizes ("offset", "at", "truncate", "padding") outside 0..2147483647 are errors
that name the field (e.g. entries[0].offset); values written as they are given may be any
32-bit value.

example:
  q9x pack samples/model.json build/native/samples/_model.pdx
)";

constexpr const char* kRunHelp = R"(usage: q9x run [--folder DIR] [--link LIB] [--archive-dir DIR] WORD...

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
  5. tears the session down and exits with status 0, or 1 when a sync record could not be
     written.
WORD is one of the command words cameraSync, ModelSync, lightSync, viewsSync, colorMode
(spelled exactly so), or one of the messages 1025, 1026, 1027, 1028, 1029; any other word is a
wrong command line.
Each notification of the host prints "host notified: 1137 0 10" on standard output.

--folder DIR   the exchange folder; otherwise the system's lookup (APPDATA, then the registry)
--link LIB     the link library; otherwise the reference library beside q9x
               (Q9Plugin.dll on Windows, libQ9Plugin.so natively). The reference library writes
               a journal of every call when Q9PLUGIN_JOURNAL names a file, and its raw archive
               beside the model file (see tools/q9plugin/README.md).
--archive-dir DIR
               the reference library writes its raw archive into DIR instead of beside the
               model file the container names (it sets Q9PLUGIN_ARCHIVE_DIR), so a run on a
               copied folder changes nothing outside it

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

constexpr const char* kDoctorHelp = R"(usage: q9x doctor [--folder DIR] [--link LIB] [--json]

One screen for support: each line is a check, "ok" or "problem", with what was found and, for a
problem, what to do about it:
  - the exchange folder as the system finds it (APPDATA, then the registry value TempPath;
    --folder fixes it): found, a folder, writable;
  - the log ("Q9_Log.log" beside the folder) and its size;
  - each exchange file ("_model.pdx", "_mod.sm", "camera.cam", "Views.cam", "_mod.sync"):
    present, readable and, for the containers, intact (read as inspect reads them);
  - the link library (--link, else the one q9x run would load): found, loadable, exporting all
    of the functions the system calls (the missing ones named);
  - on Windows: the host window ("Plandora_class") and the renderer window
    ("Qt5152QWindowIcon").
--json   the same as one JSON document

Exit status: 0 every check ok, 1 a problem found.

example:
  q9x doctor --folder build/native/samples
)";

// Where a command writes, and how a wrong command line is told.
struct Context {
  std::ostream& out;
  std::ostream& err;
  bool progress;  // standard error is a terminal: long work shows how far it got

  // One line naming the problem, one pointing at the help; status 2.
  int Wrong(const std::string& command, const std::string& problem) const {
    err << "q9x" << (command.empty() ? "" : " " + command) << ": " << problem << "\n";
    if (command.empty()) {
      err << "See \"q9x help\" and \"q9x help COMMAND\".\n";
    } else {
      err << "See \"q9x help " << command << "\".\n";
    }
    return kUsage;
  }
};

// A command: its parser, its help text and what it does once its command line is read.
struct Command {
  CLI::App* app;
  const char* help;
  std::function<int()> run;
};

struct Commands {
  std::deque<Command> all;  // stays where it is as commands are added

  Command& Add(CLI::App* app, const char* help, std::function<int()> run) {
    all.push_back({app, help, std::move(run)});
    return all.back();
  }
  const Command* Find(const std::string& name) const {
    for (const Command& command : all) {
      if (command.app->get_name() == name && name != "help") return &command;
    }
    return nullptr;
  }
  // The command the command line named, once parsing reached it.
  const Command* Parsed() const {
    for (const Command& command : all) {
      if (command.app->parsed()) return &command;
    }
    return nullptr;
  }
};

// Progress on standard error while long work goes on, only when it is a terminal that someone
// watches: one line, rewritten in place, cleared at the end.
class Progress {
 public:
  Progress(const Context& context, std::string what)
      : show_(context.progress), err_(context.err), what_(std::move(what)),
        start_(std::chrono::steady_clock::now()) {}
  ~Progress() {
    if (shown_) err_ << "\r" << std::string(width_, ' ') << "\r" << std::flush;
  }
  // Shown once the work has taken half a second.
  void Step(size_t done, size_t total) {
    if (!show_ || std::chrono::steady_clock::now() - start_ < std::chrono::milliseconds(500)) return;
    const std::string line = what_ + " " + std::to_string(done) + " of " + std::to_string(total);
    width_ = std::max(width_, line.size());
    err_ << "\r" << line << std::flush;
    shown_ = true;
  }

 private:
  bool show_;
  std::ostream& err_;
  std::string what_;
  std::chrono::steady_clock::time_point start_;
  bool shown_ = false;
  size_t width_ = 0;
};

int Inspect(const std::string& file, bool asJson, std::ostream& out, std::ostream& err) {
  if (IsFolder(file)) {
    err << "q9x inspect: " << file << " is a folder, not a container file\n";
    return kFailed;
  }
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
  return inspection.value("damaged", false) ? kDamaged : kOk;
}

int Pack(const std::string& descriptionFile, const std::string& outFile,
         const std::vector<std::string>& sets, const Context& context) {
  std::ostream& err = context.err;
  std::map<std::string, std::string> defines;
  for (const std::string& definition : sets) {
    const size_t split = definition.find('=');
    defines[definition.substr(0, split)] = definition.substr(split + 1);
  }
  const std::optional<std::string> text = ReadWholeFile(descriptionFile);
  if (!text || IsFolder(descriptionFile)) {
    err << "q9x pack: cannot read " << descriptionFile << "\n";
    return kFailed;
  }
  std::string syntax;
  const std::optional<nlohmann::json> description = ParseDescription(*text, syntax);
  if (!description) {
    err << "q9x pack: " << descriptionFile << ": " << syntax << "\n";
    return kFailed;
  }
  PackResult packed;
  {
    Progress progress(context, "q9x pack: entry");
    packed = PackContainer(*description, FolderOf(descriptionFile), defines,
                           [&progress](size_t done, size_t total) { progress.Step(done, total); });
  }
  if (!packed.ok) {
    err << "q9x pack: " << descriptionFile << ": " << packed.error << "\n";
    return kFailed;
  }
  if (!packed.warning.empty()) err << "q9x pack: warning: " << packed.warning << "\n";
  if (!WriteWholeFile(outFile, packed.bytes)) {
    err << "q9x pack: cannot write " << outFile << "\n";
    return kFailed;
  }
  return kOk;
}

// --- the commands and their options ---

Command& AddInspect(CLI::App& app, Commands& commands, Context& context) {
  auto file = std::make_shared<std::string>();
  auto asJson = std::make_shared<bool>(false);
  CLI::App* sub = app.add_subcommand("inspect");
  sub->add_option("FILE", *file)->required();
  sub->add_flag("--json", *asJson);
  return commands.Add(sub, kInspectHelp,
                      [=, &context] { return Inspect(*file, *asJson, context.out, context.err); });
}

Command& AddPack(CLI::App& app, Commands& commands, Context& context) {
  auto files = std::make_shared<std::vector<std::string>>();
  auto sets = std::make_shared<std::vector<std::string>>();
  CLI::App* sub = app.add_subcommand("pack");
  sub->add_option("DESCRIPTION", (*files))->required()->expected(2);
  sub->add_option("--set", *sets)
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->check(CLI::Validator(
          [](std::string& value) {
            return value.find('=') == std::string::npos ? "\"" + value + "\" is not NAME=VALUE"
                                                        : std::string();
          },
          "NAME=VALUE"));
  return commands.Add(sub, kPackHelp,
                      [=, &context] { return Pack((*files)[0], (*files)[1], *sets, context); });
}

Command& AddRun(CLI::App& app, Commands& commands, Context& context) {
  auto options = std::make_shared<RunOptions>();
  auto folder = std::make_shared<std::string>();
  auto link = std::make_shared<std::string>();
  auto archive = std::make_shared<std::string>();
  CLI::App* sub = app.add_subcommand("run");
  CLI::Option* folderOption = sub->add_option("--folder", *folder);
  CLI::Option* linkOption = sub->add_option("--link", *link);
  CLI::Option* archiveOption = sub->add_option("--archive-dir", *archive);
  sub->add_option("WORD", options->words)
      ->check(CLI::Validator(
          [](std::string& word) {
            return RunWordAccepted(word) ? std::string()
                                         : "\"" + word + "\" is not one of cameraSync, ModelSync, lightSync, viewsSync, "
                                           "colorMode, 1025 to 1029";
          },
          "WORD"));
  return commands.Add(sub, kRunHelp, [=, &context] {
    if (folderOption->count() > 0) options->folder = *folder;
    if (linkOption->count() > 0) options->link = *link;
    if (archiveOption->count() > 0) options->archiveDir = *archive;
    options->progress = context.progress;
    return RunWorkingInstance(*options, context.out, context.err);
  });
}

Command& AddSummary(CLI::App& app, Commands& commands, Context& context) {
  auto options = std::make_shared<SummaryOptions>();
  CLI::App* sub = app.add_subcommand("summary");
  sub->add_option("FILE", options->file)->required();
  sub->add_flag("--json", options->asJson);
  return commands.Add(sub, kSummaryHelp,
                      [=, &context] { return SummaryCommand(*options, context.out, context.err); });
}

// SOURCE, or --folder DIR [--link LIB] [WORD...], and -o FILE: what view and export read and
// where they write. The check of which form was given runs once the line is parsed.
struct SceneArguments {
  std::vector<std::string> words;  // SOURCE alone, or the run's words with --folder
  std::string folder;
  std::string link;
  CLI::Option* folderOption = nullptr;
  CLI::Option* linkOption = nullptr;

  void AddTo(CLI::App* sub, std::string& output) {
    sub->add_option("SOURCE", words);
    folderOption = sub->add_option("--folder", folder);
    linkOption = sub->add_option("--link", link);
    sub->add_option("-o,--output", output)->required();
  }
  // The source, or a problem for a wrong command line.
  std::string Into(SceneSource& source) const {
    if (folderOption->count() > 0) {
      for (const std::string& word : words) {
        if (!RunWordAccepted(word)) return "\"" + word + "\" is not a request word of q9x run";
      }
      source.folder = folder;
      if (linkOption->count() > 0) source.link = link;
      source.words = words;
      return {};
    }
    if (linkOption->count() > 0) return "--link goes with --folder";
    if (words.size() != 1) return "one SOURCE (a journal or raw archive), or --folder DIR";
    source.file = words[0];
    return {};
  }
};

Command& AddView(CLI::App& app, Commands& commands, Context& context) {
  auto options = std::make_shared<ViewOptions>();
  auto arguments = std::make_shared<SceneArguments>();
  auto scene = std::make_shared<std::string>();
  auto size = std::make_shared<std::string>();
  CLI::App* sub = app.add_subcommand("view");
  arguments->AddTo(sub, options->output);
  CLI::Option* sceneOption = sub->add_option("--scene", *scene);
  sub->add_option("--size", *size)->check(CLI::Validator(
      [](std::string& value) {
        int width = 0, height = 0;
        return ParseSize(value, width, height) ? std::string()
                                               : "\"" + value + "\" is not WxH (1 to 16384 each)";
      },
      "WxH"));
  return commands.Add(sub, kViewHelp, [=, &context] {
    const std::string problem = arguments->Into(options->source);
    if (!problem.empty()) return context.Wrong("view", problem);
    if (sceneOption->count() > 0) options->scene = *scene;
    if (!size->empty()) ParseSize(*size, options->width, options->height);
    return ViewCommand(*options, context.out, context.err);
  });
}

Command& AddExport(CLI::App& app, Commands& commands, Context& context) {
  auto options = std::make_shared<ExportOptions>();
  auto arguments = std::make_shared<SceneArguments>();
  CLI::App* sub = app.add_subcommand("export");
  arguments->AddTo(sub, options->output);
  return commands.Add(sub, kExportHelp, [=, &context] {
    const std::string problem = arguments->Into(options->source);
    if (!problem.empty()) return context.Wrong("export", problem);
    return ExportCommand(*options, context.out, context.err);
  });
}

Command& AddDoctor(CLI::App& app, Commands& commands, Context& context) {
  auto options = std::make_shared<DoctorOptions>();
  auto folder = std::make_shared<std::string>();
  auto link = std::make_shared<std::string>();
  auto asJson = std::make_shared<bool>(false);
  CLI::App* sub = app.add_subcommand("doctor");
  CLI::Option* folderOption = sub->add_option("--folder", *folder);
  CLI::Option* linkOption = sub->add_option("--link", *link);
  sub->add_flag("--json", *asJson);
  return commands.Add(sub, kDoctorHelp, [=, &context] {
    if (folderOption->count() > 0) options->folder = *folder;
    options->link = linkOption->count() > 0 ? *link : q9::Utf8FromUtf16(DefaultLinkLibrary());
    return RunDoctor(*options, *asJson, context.out, context.err);
  });
}

// "help [COMMAND]": the tool's help or a command's, on standard output.
void AddHelp(CLI::App& app, Commands& commands, Context& context) {
  auto topic = std::make_shared<std::string>();
  CLI::App* sub = app.add_subcommand("help");
  sub->add_option("COMMAND", *topic);
  commands.Add(sub, kHelp, [=, &commands, &context] {
    if (topic->empty()) {
      context.out << kHelp;
      return kOk;
    }
    const Command* command = commands.Find(*topic);
    if (!command) return context.Wrong("", "unknown command \"" + *topic + "\"");
    context.out << command->help;
    return kOk;
  });
}

}  // namespace

int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Context context{out, err, &err == &std::cerr && ErrorIsTerminal()};
  CLI::App app{"q9x"};
  // "/path" is a path on every build, never a Windows-style option (set before the commands,
  // which take it over).
  app.allow_windows_style_options(false);
  app.set_help_flag("-h,--help");
  app.set_version_flag("--version", q9::VersionText("q9x"));
  app.require_subcommand(1);
  Commands commands;
  AddInspect(app, commands, context);
  AddPack(app, commands, context);
  AddRun(app, commands, context);
  AddSummary(app, commands, context);
  AddDoctor(app, commands, context);
  AddView(app, commands, context);
  AddExport(app, commands, context);
  AddHelp(app, commands, context);
  for (Command& command : commands.all) command.app->set_help_flag("-h,--help");

  // CLI11 takes the words last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    const Command* command = commands.Parsed();
    out << (command ? command->help : kHelp);
    return kOk;
  } catch (const CLI::CallForVersion& version) {
    out << version.what() << "\n";
    return kOk;
  } catch (const CLI::ParseError& error) {
    const Command* command = commands.Parsed();
    if (!command) {
      if (args.empty()) return context.Wrong("", "no command given");
      if (!args[0].empty() && args[0][0] != '-') {
        return context.Wrong("", "unknown command \"" + args[0] + "\"");
      }
    }
    return context.Wrong(command ? command->app->get_name() : "", error.what());
  }
  const Command* command = commands.Parsed();
  return command ? command->run() : context.Wrong("", "no command given");
}

}  // namespace q9x
