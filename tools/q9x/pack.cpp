// q9x pack: a container written from a JSON description.
#include <map>
#include <memory>

#include "common/files.h"
#include "pack/pack_description.h"
#include "pack/description_check.h"
#include "q9x/command.h"
#include "q9x/exit_status.h"

namespace q9x {

namespace pack_command {

constexpr const char* kHelp = R"(usage: q9x pack DESCRIPTION.json OUT [--set NAME=VALUE]...

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
The full format is described at the top of tools/pack/pack_description.h.
The description is checked before anything is written: unknown keys, values of the wrong type,
and places and sizes ("offset", "at", "truncate", "padding") outside 0..2147483647 are errors
that name the field (e.g. entries[0].offset); values written as they are given may be any
32-bit value.

example:
  q9x pack samples/model.json build/native/samples/_model.pdx
)";

int Pack(const std::string& descriptionFile, const std::string& outFile,
         const std::vector<std::string>& sets, const Context& context) {
  std::map<std::string, std::string> defines;
  for (const std::string& definition : sets) {
    const size_t split = definition.find('=');
    defines[definition.substr(0, split)] = definition.substr(split + 1);
  }
  const Outcome<std::string> text =
      ReadWholeFile(descriptionFile, kMaxContainerBytes, "a description may have");
  if (!text) return context.Fail("pack", text.failure());
  std::string syntax;
  const std::optional<nlohmann::json> description = ParseDescription(*text, syntax);
  if (!description) {
    return context.Fail("pack", {FailureKind::File, descriptionFile + ": " + syntax});
  }
  PackOptions options;
  options.defines = defines;
  PackResult packed;
  {
    Progress progress(context, "q9x pack: entry");
    options.progress = [&progress](size_t done, size_t total) { progress.Step(done, total); };
    packed = PackContainerToFile(*description, FolderOf(descriptionFile), outFile, options);
  }
  if (!packed.ok && !packed.sinkFailed) {
    return context.Fail("pack", {FailureKind::File, descriptionFile + ": " + packed.error});
  }
  if (!packed.warning.empty()) context.err << "q9x pack: warning: " << packed.warning << "\n";
  if (!packed.ok) return context.Fail("pack", {FailureKind::File, "cannot write " + outFile});
  return kOk;
}

std::function<int()> Declare(CLI::App& sub, const Context& context) {
  auto files = std::make_shared<std::vector<std::string>>();
  auto sets = std::make_shared<std::vector<std::string>>();
  sub.add_option("DESCRIPTION", *files)->required()->expected(2);
  sub.add_option("--set", *sets)
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->check(CLI::Validator(
          [](std::string& value) {
            return value.find('=') == std::string::npos ? "\"" + value + "\" is not NAME=VALUE"
                                                        : std::string();
          },
          "NAME=VALUE"));
  return [=, &context] { return Pack((*files)[0], (*files)[1], *sets, context); };
}

}  // namespace pack_command

extern const Command kPackCommand{
    "pack", "  pack DESCRIPTION.json OUT    write a container from a JSON description\n", pack_command::kHelp,
    pack_command::Declare};

}  // namespace q9x
