// q9x inspect: a container explained, section by section, with its damage.
#include <memory>

#include <nlohmann/json.hpp>

#include "inspection/inspection.h"
#include "q9x/command.h"
#include "q9x/exit_status.h"

namespace q9x {

namespace inspect_command {

constexpr const char* kHelp = R"(usage: q9x inspect FILE [--json]

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

int Inspect(const std::string& file, bool asJson, const Context& context) {
  const Outcome<nlohmann::json> inspection = InspectContainer(file);
  if (!inspection) return context.Fail("inspect", inspection.failure());
  if (asJson) {
    context.out << inspection->dump(2) << "\n";
  } else {
    PrintInspection(*inspection, context.out);
  }
  return inspection->value("damaged", false) ? kDamaged : kOk;
}

std::function<int()> Declare(CLI::App& sub, const Context& context) {
  auto file = std::make_shared<std::string>();
  auto asJson = std::make_shared<bool>(false);
  sub.add_option("FILE", *file)->required();
  sub.add_flag("--json", *asJson);
  return [=, &context] { return Inspect(*file, *asJson, context); };
}

}  // namespace inspect_command

extern const Command kInspectCommand{
    "inspect",
    "  inspect FILE [--json]        explain a container (\"_model.pdx\", \"_mod.sm\"): header, directory,\n"
    "                               each section decoded, and where it is damaged\n",
    inspect_command::kHelp, inspect_command::Declare};

}  // namespace q9x
