// q9x summary: what reached the renderer, from the reference link library's raw archive or
// journal. A journal's calls are shown as they are read, never kept; the scene they leave
// follows.
#include "q9x/summary.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "base/json_writer.h"
#include "q9x/command.h"
#include "q9x/exit_status.h"
#include "received/call_display.h"
#include "received/scene_reader.h"

namespace q9x {

namespace summary_command {

// The text summary on its way out, written in blocks.
class Output {
 public:
  explicit Output(std::ostream& out) : out_(out) { text.reserve(kBlock + 4096); }
  ~Output() { Flush(); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Writes once a block has gathered.
  void Step() {
    if (text.size() >= kBlock) Flush();
  }
  void Flush() {
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    text.clear();
  }

  std::string text;

 private:
  static constexpr size_t kBlock = 1 << 16;
  std::ostream& out_;
};

// The shortest decimal that reads back to the same float.
std::string FloatText(float value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string VectorText(const Vec3& v) {
  return "[" + FloatText(v[0]) + "," + FloatText(v[1]) + "," + FloatText(v[2]) + "]";
}

// Degrees with a decimal point: "60.0", "82.5".
std::string FovText(float fov) {
  std::string text = FloatText(fov);
  if (text.find_first_of(".eni") == std::string::npos) text += ".0";
  return text;
}

std::string CameraText(const std::optional<ReceivedCamera>& camera) {
  if (!camera) return "none";
  return "from " + VectorText(camera->from) + " to " + VectorText(camera->to) + " up " +
         VectorText(camera->up) + ", fov " + FovText(camera->fov);
}

std::string Quoted(std::string_view text) {
  std::string quoted;
  q9::AppendJsonString(quoted, text);
  return quoted;
}

std::string TypeText(const std::optional<int32_t>& type) { return type ? std::to_string(*type) : "null"; }

void PrintScene(const ReceivedScene& scene, Output& out) {
  std::string& text = out.text;
  text += "materials (" + std::to_string(scene.materials.size()) + ")";
  for (const auto& [name, m] : scene.materials) {
    text += "\n  " + Quoted(name) + ": type " + TypeText(m.type) + ", " + std::to_string(m.properties.size()) +
            " properties";
    out.Step();
  }
  text += "\nlights (" + std::to_string(scene.lights.size()) + ")";
  for (const auto& [name, l] : scene.lights) {
    text += "\n  " + Quoted(name) + ": " + std::to_string(l.properties.size()) + " properties";
    out.Step();
  }
  text += "\nnodes (" + std::to_string(scene.nodes.size()) + ", " + std::to_string(scene.Triangles()) +
          " triangles)";
  for (const auto& [name, n] : scene.nodes) {
    text += "\n  " + Quoted(name) + ": " + std::to_string(n.Triangles()) + " triangles in " +
            std::to_string(n.meshes.size()) + (n.meshes.size() == 1 ? " mesh" : " meshes");
    if (!n.meshes.empty()) {
      text += " (";
      for (size_t i = 0; i < n.meshes.size(); ++i) text += (i ? ", " : "") + Quoted(n.meshes[i].name);
      text += ")";
    }
    out.Step();
  }
  text += "\nscenes (" + std::to_string(scene.scenes.size()) + ")";
  bool first = true;
  for (const auto& [name, s] : scene.scenes) {
    text += (first ? ": " : ", ") + Quoted(name);
    first = false;
    out.Step();
  }
  text += "\ncamera: " + CameraText(scene.camera) + "\n";
}

// --- the JSON document: every object's members in the order of their names, floats as the
// doubles they widen to, as a JSON library dumps such a document ---

void WriteVector(q9::JsonWriter& out, const Vec3& v) {
  out.BeginArray();
  for (const float value : v) out.Number(static_cast<double>(value));
  out.EndArray();
}

void WriteCamera(q9::JsonWriter& out, const std::optional<ReceivedCamera>& camera) {
  if (!camera) {
    out.Null();
    return;
  }
  out.BeginObject();
  out.Key("fov");
  out.Number(static_cast<double>(camera->fov));
  out.Key("from");
  WriteVector(out, camera->from);
  out.Key("to");
  WriteVector(out, camera->to);
  out.Key("up");
  WriteVector(out, camera->up);
  out.EndObject();
}

void WriteType(q9::JsonWriter& out, const std::optional<int32_t>& type) {
  if (type) {
    out.Int(*type);
  } else {
    out.Null();
  }
}

void WriteProperties(q9::JsonWriter& out, const ReceivedProperties& properties) {
  std::vector<std::pair<std::string_view, const PropertyValue*>> sorted;
  sorted.reserve(properties.size());
  for (const auto& [name, value] : properties) sorted.emplace_back(name, &value);
  std::sort(sorted.begin(), sorted.end());
  out.BeginObject();
  for (const auto& [name, value] : sorted) {
    out.Key(name);
    std::visit(
        [&out](const auto& v) {
          using V = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<V, std::string>) {
            out.String(v);
          } else if constexpr (std::is_same_v<V, int32_t>) {
            out.Int(v);
          } else if constexpr (std::is_same_v<V, float>) {
            out.Number(static_cast<double>(v));
          } else {
            out.BeginArray();
            for (const float f : v) out.Number(static_cast<double>(f));
            out.EndArray();
          }
        },
        *value);
  }
  out.EndObject();
}

void WriteLights(q9::JsonWriter& out, const ReceivedScene& scene) {
  out.BeginArray();
  for (const auto& [name, l] : scene.lights) {
    out.BeginObject();
    out.Key("kind");
    out.String(l.Kind());
    out.Key("name");
    out.String(name);
    out.Key("properties");
    WriteProperties(out, l.properties);
    out.EndObject();
  }
  out.EndArray();
}

void WriteMaterials(q9::JsonWriter& out, const ReceivedScene& scene) {
  out.BeginArray();
  for (const auto& [name, m] : scene.materials) {
    out.BeginObject();
    out.Key("name");
    out.String(name);
    out.Key("properties");
    WriteProperties(out, m.properties);
    out.Key("type");
    WriteType(out, m.type);
    out.EndObject();
  }
  out.EndArray();
}

void WriteNodes(q9::JsonWriter& out, const ReceivedScene& scene) {
  out.BeginArray();
  for (const auto& [name, n] : scene.nodes) {
    out.BeginObject();
    out.Key("meshes");
    out.BeginArray();
    for (const ReceivedMesh& mesh : n.meshes) {
      out.BeginObject();
      out.Key("name");
      out.String(mesh.name);
      out.Key("triangles");
      out.Int(mesh.triangles);
      out.EndObject();
    }
    out.EndArray();
    out.Key("name");
    out.String(name);
    out.Key("triangles");
    out.Int(n.Triangles());
    out.EndObject();
  }
  out.EndArray();
}

void WriteScenes(q9::JsonWriter& out, const ReceivedScene& scene) {
  out.BeginArray();
  for (const auto& [name, s] : scene.scenes) {
    out.BeginObject();
    out.Key("camera");
    WriteCamera(out, s.camera);
    out.Key("displayName");
    out.String(s.displayName);
    out.Key("name");
    out.String(name);
    out.EndObject();
  }
  out.EndArray();
}

// The scene's members.
void WriteSceneJson(const ReadScene& read, q9::JsonWriter& out) {
  const ReceivedScene& scene = read.scene;
  out.Key("camera");
  WriteCamera(out, scene.camera);
  out.Key("kind");
  out.String(read.kind == ReadScene::Kind::Archive ? "archive" : "journal");
  out.Key("lights");
  WriteLights(out, scene);
  out.Key("materialVersion");
  WriteType(out, scene.materialVersion);
  out.Key("materials");
  WriteMaterials(out, scene);
  out.Key("model");
  out.String(scene.model);
  out.Key("nodes");
  WriteNodes(out, scene);
  out.Key("scenes");
  WriteScenes(out, scene);
  out.Key("triangles");
  out.Int(scene.Triangles());
}

constexpr const char* kHelp = R"(usage: q9x summary FILE [--json]

Prints what reached the renderer through the reference link library:
  - for a raw archive (.q9a): the model, its materials, lights, nodes with meshes and triangle
    counts, scenes and camera;
  - for a journal (one JSON call per line): each call as it is read, with long arrays shortened,
    the number of calls of each function, then the scene the calls leave (as for an archive).
    A journal is read as a stream, so a journal of any length takes memory for its scene only.
The first line that is not a journal call is named with its number and byte offset (exit 1),
after the calls before it. A last line cut short (the file ends inside a call, as when the
program that wrote it stopped) is named on standard error; the calls before it are summed up.
So is a line longer than any the library writes (80 GiB), which is skipped.

--json   the same as one JSON document ("calls" first, as they are read)

example:
  q9x summary build/native/samples/Villa.q9a
)";

struct SummaryOptions {
  std::string file;
  bool asJson = false;
};

// Calls by function, in the order of the functions' names.
using CallCounts = std::map<std::string, int64_t, std::less<>>;

void Count(CallCounts& counts, const JournalCall& call) {
  const auto at = counts.find(call.fn);
  if (at != counts.end()) {
    ++at->second;
  } else {
    counts.emplace(call.fn, 1);
  }
}

// `summary --json`: the calls as they are read, then for a journal their counts, then the scene.
class JsonSummary {
 public:
  explicit JsonSummary(std::ostream& out)
      : document_(
            [&out](std::string_view text) {
              out.write(text.data(), static_cast<std::streamsize>(text.size()));
              return true;
            },
            q9::JsonDumpOptions(true)) {}

  void Call(const JournalCall& call) {
    Count(counts_, call);
    ListCalls();
    WriteCallJson(document_, call);
  }

  void Finish(const ReadScene& read) {
    if (read.kind == ReadScene::Kind::Journal) {
      ListCalls();
      document_.EndArray();
      document_.Key("callCounts");
      document_.BeginObject();
      for (const auto& [fn, calls] : counts_) {
        document_.Key(fn);
        document_.Int(calls);
      }
      document_.EndObject();
    } else {
      document_.BeginObject();
    }
    WriteSceneJson(read, document_);
    document_.EndObject();
    document_ << "\n";
    document_.Flush();
  }

  // Writes what has gathered.
  void Flush() { document_.Flush(); }

 private:
  // Begins "calls", and the document with it: not before the first call, so that a file that is
  // no journal leaves no text.
  void ListCalls() {
    if (listed_) return;
    listed_ = true;
    document_.BeginObject();
    document_.Key("calls");
    document_.BeginArray();
  }

  q9::JsonWriter document_;
  CallCounts counts_;
  bool listed_ = false;
};

// The text summary's first lines, before the scene: what the file is, and a journal's calls.
void PrintHead(const ReadScene& read, const CallCounts& counts, Output& output) {
  if (read.kind == ReadScene::Kind::Archive) {
    output.text += "raw archive of model " + Quoted(read.scene.model) + ", material version " +
                   TypeText(read.scene.materialVersion) + "\n";
    return;
  }
  output.text += std::to_string(read.callCount) + " calls:";
  for (const auto& [fn, count] : counts) output.text += " " + fn + " " + std::to_string(count) + ";";
  output.text += "\n\nthe scene these calls leave, model " + Quoted(read.scene.model) + "\n";
}

int Summary(const SummaryOptions& options, std::ostream& out, std::ostream& err) {
  Output output(out);
  JsonSummary document(out);
  CallCounts counts;
  ReadOptions read;
  if (options.asJson) {
    read.onCall = [&document](const JournalCall& call) { document.Call(call); };
  } else {
    read.onCall = [&](const JournalCall& call) {
      Count(counts, call);
      AppendCallLine(output.text, call);
      output.Step();
    };
  }
  ReadFailure failure;
  const std::optional<ReadScene> scene = ReadSceneFile(options.file, read, failure);
  if (!scene) {
    output.Flush();
    document.Flush();
    const Failure failed = SceneFileFailure(options.file, failure);
    err << "q9x summary: " << failed.reason << "\n";
    return ExitStatus(failed.kind);
  }
  if (!scene->cutShort.empty()) err << "q9x summary: " << options.file << ": " << scene->cutShort << "\n";
  for (const std::string& skipped : scene->skipped) err << "q9x summary: " << options.file << ": " << skipped << "\n";
  if (options.asJson) {
    document.Finish(*scene);
    return kOk;
  }
  PrintHead(*scene, counts, output);
  PrintScene(scene->scene, output);
  return kOk;
}

std::function<int()> Declare(CLI::App& sub, const Context& context) {
  auto options = std::make_shared<SummaryOptions>();
  sub.add_option("FILE", options->file)->required();
  sub.add_flag("--json", options->asJson);
  return [=, &context] { return Summary(*options, context.out, context.err); };
}

}  // namespace summary_command

int PrintSummary(const std::string& file, std::ostream& out, std::ostream& err) {
  return summary_command::Summary({file, false}, out, err);
}

extern const Command kSummaryCommand{
    "summary",
    "  summary FILE [--json]        what reached the renderer, from the reference link library's\n"
    "                               raw archive (.q9a) or journal\n",
    summary_command::kHelp, summary_command::Declare};

}  // namespace q9x
