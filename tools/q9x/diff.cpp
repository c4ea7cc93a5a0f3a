// q9x diff: the scenes two sets of calls leave, compared by name (received/scene_diff.h) and
// shown as text or JSON (received/diff_report.h). Each side is read into the received scene with
// a print of every mesh's positions instead of the positions themselves, so that two scenes of
// millions of triangles take the memory of their names, matrices and counts.
#include <filesystem>
#include <limits>
#include <memory>

#include "base/json_writer.h"
#include "base/text.h"
#include "common/files.h"
#include "q9x/command.h"
#include "q9x/exit_status.h"
#include "received/diff_report.h"
#include "received/scene_diff.h"
#include "received/scene_reader.h"
#include "runner/scene_source.h"

namespace q9x {

namespace diff_command {

constexpr const char* kHelp = R"(usage: q9x diff A B [--json] [--all] [--map-path FROM=TO]...

Compares the scenes the renderer holds after two sets of calls, by name and whatever the order
in which the calls came: the model path and material version; materials, lights, nodes and
scenes added, removed and changed field by field (a material's type and each property, a
light's properties; a node's matrix, flag, triangle count, meshes with their materials, the box
around its positions and a hash of them; a scene's name, camera and fov); the current camera.
A node deleted and sent again the same is no difference. A and B are each
  - a journal of the reference link library (.jsonl), or its raw archive (.q9a), which holds no
    positions: with an archive on either side, positions and boxes are not compared;
  - a replay's folder: the journal.jsonl in it;
  - FOLDER@N: a replay's folder after its step N (the calls of the lines whose "step" is at
    most N; a line without one is an error).
Prints what each side is, the counts of each kind, then the first 10 differences of each kind.
Exit status 0 when the scenes are the same, 6 when they differ, 1 when a side cannot be read.

--json   the same as one JSON document
--all    every difference, not only the first 10 of each kind
--map-path FROM=TO
         in B, a text property (a texture map, a light profile) that starts with FROM is read
         as starting with TO: a replay sends the paths of its own exchange folder (repeatable)

examples:
  q9x diff before.jsonl build/windows/demo/journal.jsonl
  q9x diff replay@2 replay@3 --json
)";

constexpr size_t kShown = 10;

struct DiffOptions {
  std::string before, after;
  bool asJson = false;
  bool all = false;
  std::vector<std::string> pathMaps;  // FROM=TO, applied to B's texts
};

// In every text property of B's materials and lights, FROM at its start becomes TO: a replay's
// texture and light profile paths lie in its own exchange folder, the customer's in theirs.
void MapPaths(ReceivedScene& scene, const std::string& from, const std::string& to) {
  const auto mapProperties = [&](ReceivedProperties& properties) {
    std::vector<std::string> names;
    for (const auto& [name, value] : properties) names.push_back(name);
    for (const std::string& name : names) {
      auto* text = std::get_if<std::string>(properties.Find(name));
      if (text && text->compare(0, from.size(), from) == 0) text->replace(0, from.size(), to);
    }
  };
  std::vector<std::string> names;
  for (const auto& [name, material] : scene.materials) names.push_back(name);
  for (const std::string& name : names) mapProperties(scene.materials.Find(name)->properties);
  names.clear();
  for (const auto& [name, light] : scene.lights) names.push_back(name);
  for (const std::string& name : names) mapProperties(scene.lights.Find(name)->properties);
}

// Where one side is read from.
struct SideSource {
  std::string file;
  std::optional<uint64_t> step;
};

std::string JournalOf(const std::string& folder) { return folder + "/journal.jsonl"; }

// FOLDER@N, when `argument` ends in "@" and digits and what comes before names a folder.
std::optional<SideSource> StepSource(const std::string& argument) {
  const size_t at = argument.rfind('@');
  // Up to 19 digits: every such number fits in 64 bits.
  if (at == std::string::npos || at + 1 == argument.size() || argument.size() - at - 1 > 19) return std::nullopt;
  uint64_t step = 0;
  for (size_t i = at + 1; i < argument.size(); ++i) {
    if (argument[i] < '0' || argument[i] > '9') return std::nullopt;
    step = step * 10 + static_cast<uint64_t>(argument[i] - '0');
  }
  const std::string folder = argument.substr(0, at);
  if (!IsFolder(folder)) return std::nullopt;
  return SideSource{JournalOf(folder), step};
}

// A folder is a replay's; a name that is no file but ends in @N is a step of one; anything else
// is a file.
SideSource SourceOf(const std::string& argument) {
  if (IsFolder(argument)) return {JournalOf(argument), std::nullopt};
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::path(q9::Utf16FromUtf8(argument)), error)) {
    if (std::optional<SideSource> stepped = StepSource(argument)) return *stepped;
  }
  return {argument, std::nullopt};
}

Outcome<ReadScene> ReadSide(const SideSource& source, std::ostream& err) {
  ReadOptions options;
  options.printMeshes = true;
  options.lastStep = source.step;
  ReadFailure failure;
  std::optional<ReadScene> read = ReadSceneFile(source.file, options, failure);
  if (!read) return SceneFileFailure(source.file, failure);
  if (source.step && read->kind == ReadScene::Kind::Archive) {
    return Failure{FailureKind::File, source.file + ": a raw archive, which has no steps"};
  }
  if (!read->cutShort.empty()) err << "q9x diff: " << source.file << ": " << read->cutShort << "\n";
  for (const std::string& skipped : read->skipped) err << "q9x diff: " << source.file << ": " << skipped << "\n";
  return std::move(*read);
}

// Renders the comparison through `rendering` (DiffText or DiffJson), which is given the counts
// first and then each difference as it is found.
template <typename Rendering, typename Out>
void Render(Out& out, const DiffSide& a, const DiffSide& b, const DiffCounts& counts, const ReceivedScene& before,
            const ReceivedScene& after, size_t limit) {
  Rendering rendering(out, a, b, counts, limit);
  CompareScenes(before, after, [&rendering](const Difference& difference) { rendering.Add(difference); });
  rendering.Finish();
}

int Diff(const DiffOptions& options, const Context& context) {
  const SideSource a = SourceOf(options.before), b = SourceOf(options.after);
  const Outcome<ReadScene> before = ReadSide(a, context.err);
  if (!before) return context.Fail("diff", before.failure());
  Outcome<ReadScene> after = ReadSide(b, context.err);
  if (!after) return context.Fail("diff", after.failure());
  for (const std::string& map : options.pathMaps) {
    const size_t equals = map.find('=');
    if (equals == std::string::npos || equals == 0) {
      return context.Wrong("diff", "--map-path " + map + ": FROM=TO expected");
    }
    MapPaths(after->scene, map.substr(0, equals), map.substr(equals + 1));
  }
  const DiffSide sideA{options.before, before->kind == ReadScene::Kind::Archive, a.step};
  const DiffSide sideB{options.after, after->kind == ReadScene::Kind::Archive, b.step};
  const DiffCounts counts = CountDifferences(before->scene, after->scene);
  const size_t limit = options.all ? std::numeric_limits<size_t>::max() : kShown;
  if (options.asJson) {
    q9::JsonWriter document(
        [&context](std::string_view text) {
          context.out.write(text.data(), static_cast<std::streamsize>(text.size()));
          return true;
        },
        q9::JsonDumpOptions(true));
    Render<DiffJson>(document, sideA, sideB, counts, before->scene, after->scene, limit);
    document << "\n";
    document.Flush();
  } else {
    Render<DiffText>(context.out, sideA, sideB, counts, before->scene, after->scene, limit);
  }
  return counts.Total() == 0 ? kOk : kScenesDiffer;
}

std::function<int()> Declare(CLI::App& sub, const Context& context) {
  auto options = std::make_shared<DiffOptions>();
  sub.add_option("A", options->before)->required();
  sub.add_option("B", options->after)->required();
  sub.add_flag("--json", options->asJson);
  sub.add_flag("--all", options->all);
  sub.add_option("--map-path", options->pathMaps);
  return [=, &context] { return Diff(*options, context); };
}

}  // namespace diff_command

extern const Command kDiffCommand{
    "diff",
    "  diff A B [--json] [--all]    two received scenes compared by name: what was added, removed\n"
    "                               and changed (journals, raw archives, a replay's folder or step)\n",
    diff_command::kHelp, diff_command::Declare};

}  // namespace q9x
