// q9x summary: what reached the renderer, from the reference link library's raw archive or
// journal. A journal's calls are shown as they are read, never kept; the scene they leave
// follows.
#include "q9x/summary.h"

#include <charconv>
#include <cmath>
#include <map>
#include <memory>

#include <nlohmann/json.hpp>

#include "q9x/command.h"
#include "q9x/exit_status.h"
#include "received/call_display.h"
#include "received/scene_reader.h"

namespace q9x {

namespace {

using nlohmann::json;

// Text on its way out, written in blocks.
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

json CameraJson(const std::optional<ReceivedCamera>& camera) {
  if (!camera) return nullptr;
  auto vector = [](const Vec3& v) { return json::array({v[0], v[1], v[2]}); };
  return {{"from", vector(camera->from)}, {"to", vector(camera->to)}, {"up", vector(camera->up)},
          {"fov", camera->fov}};
}

json PropertiesJson(const ReceivedProperties& properties) {
  json object = json::object();
  for (const auto& [name, value] : properties) {
    std::visit([&, &name = name](const auto& v) { object[name] = v; }, value);
  }
  return object;
}

void PrintScene(const ReceivedScene& scene, Output& out) {
  std::string& text = out.text;
  text += "materials (" + std::to_string(scene.materials.size()) + ")";
  for (const auto& [name, m] : scene.materials) {
    text += "\n  " + json(name).dump() + ": type " + (m.type ? json(*m.type) : json()).dump() + ", " +
            std::to_string(m.properties.size()) + " properties";
    out.Step();
  }
  text += "\nlights (" + std::to_string(scene.lights.size()) + ")";
  for (const auto& [name, l] : scene.lights) {
    text += "\n  " + json(name).dump() + ": " + std::to_string(l.properties.size()) + " properties";
    out.Step();
  }
  text += "\nnodes (" + std::to_string(scene.nodes.size()) + ", " + std::to_string(scene.Triangles()) +
          " triangles)";
  for (const auto& [name, n] : scene.nodes) {
    text += "\n  " + json(name).dump() + ": " + std::to_string(n.Triangles()) + " triangles in " +
            std::to_string(n.meshes.size()) + (n.meshes.size() == 1 ? " mesh" : " meshes");
    if (!n.meshes.empty()) {
      text += " (";
      for (size_t i = 0; i < n.meshes.size(); ++i) text += (i ? ", " : "") + json(n.meshes[i].name).dump();
      text += ")";
    }
    out.Step();
  }
  text += "\nscenes (" + std::to_string(scene.scenes.size()) + ")";
  bool first = true;
  for (const auto& [name, s] : scene.scenes) {
    text += (first ? ": " : ", ") + json(name).dump();
    first = false;
    out.Step();
  }
  text += "\ncamera: " + CameraText(scene.camera) + "\n";
}

// A JSON document written member by member, laid out as a JSON writer indents by two blanks;
// a long list is written entry by entry.
class JsonDocument {
 public:
  explicit JsonDocument(Output& out) : out_(out) {}

  void Member(const char* key, const json& value) {
    Key(key);
    Indented(value.dump(2), 2);
  }
  void BeginList(const char* key) {
    Key(key);
    entries_ = 0;
  }
  // Starts an entry of the list; the caller writes it, indented by four.
  std::string& Entry() {
    out_.Step();
    out_.text += entries_++ > 0 ? ",\n    " : "[\n    ";
    return out_.text;
  }
  void Entry(const json& value) { Entry(value.dump(2)); }
  // An entry written indented by two blanks a level from 0.
  void Entry(const std::string& text) {
    Entry();
    Indented(text, 4);
  }
  void EndList() { out_.text += entries_ > 0 ? "\n  ]" : "[]"; }
  void End() { out_.text += "\n}\n"; }

 private:
  void Key(const char* key) {
    out_.text += members_++ > 0 ? ",\n  \"" : "{\n  \"";
    out_.text += key;
    out_.text += "\": ";
  }
  void Indented(const std::string& text, int indent) {
    for (const char c : text) {
      out_.text += c;
      if (c == '\n') out_.text.append(indent, ' ');
    }
  }

  Output& out_;
  size_t members_ = 0;
  size_t entries_ = 0;
};

// The scene's members, in the order of their names.
void WriteSceneJson(const ReadScene& read, JsonDocument& document) {
  const ReceivedScene& scene = read.scene;
  document.Member("camera", CameraJson(scene.camera));
  document.Member("kind", read.kind == ReadScene::Kind::Archive ? "archive" : "journal");
  document.BeginList("lights");
  for (const auto& [name, l] : scene.lights) {
    document.Entry({{"name", name}, {"kind", l.Kind()}, {"properties", PropertiesJson(l.properties)}});
  }
  document.EndList();
  document.Member("materialVersion", scene.materialVersion ? json(*scene.materialVersion) : json());
  document.BeginList("materials");
  for (const auto& [name, m] : scene.materials) {
    document.Entry({{"name", name}, {"type", m.type ? json(*m.type) : json()},
                    {"properties", PropertiesJson(m.properties)}});
  }
  document.EndList();
  document.Member("model", scene.model);
  document.BeginList("nodes");
  for (const auto& [name, n] : scene.nodes) {
    json meshes = json::array();
    for (const ReceivedMesh& mesh : n.meshes) meshes.push_back({{"name", mesh.name}, {"triangles", mesh.triangles}});
    document.Entry({{"name", name}, {"triangles", n.Triangles()}, {"meshes", std::move(meshes)}});
  }
  document.EndList();
  document.BeginList("scenes");
  for (const auto& [name, s] : scene.scenes) {
    document.Entry({{"name", name}, {"displayName", s.displayName}, {"camera", CameraJson(s.camera)}});
  }
  document.EndList();
  document.Member("triangles", scene.Triangles());
  document.End();
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

--json   the same as one JSON document ("calls" first, as they are read)

example:
  q9x summary build/native/samples/Villa.q9a
)";

struct SummaryOptions {
  std::string file;
  bool asJson = false;
};

int Summary(const SummaryOptions& options, std::ostream& out, std::ostream& err) {
  Output output(out);
  JsonDocument document(output);
  std::map<std::string, int64_t, std::less<>> counts;
  ReadOptions read;
  const auto count = [&counts](const JournalCall& call) {
    const auto at = counts.find(call.fn);
    if (at != counts.end()) {
      ++at->second;
    } else {
      counts.emplace(call.fn, 1);
    }
  };
  bool listed = false;  // the document's "calls" begun
  if (options.asJson) {
    read.onCall = [&](const JournalCall& call) {
      count(call);
      if (!listed) document.BeginList("calls");
      listed = true;
      std::string shown;
      JsonWriter writer(shown, JsonDumpOptions(true));
      WriteCallJson(writer, call);
      document.Entry(shown);
    };
  } else {
    read.onCall = [&](const JournalCall& call) {
      count(call);
      AppendCallLine(output.text, call);
      output.Step();
    };
  }
  ReadFailure failure;
  const std::optional<ReadScene> scene = ReadSceneFile(options.file, read, failure);
  if (!scene) {
    output.Flush();
    err << "q9x summary: " << (failure.unreadable ? "" : options.file + ": ") << failure.message << "\n";
    return kFailed;
  }
  if (!scene->cutShort.empty()) err << "q9x summary: " << options.file << ": " << scene->cutShort << "\n";

  if (options.asJson) {
    if (scene->kind == ReadScene::Kind::Journal) {
      if (!listed) document.BeginList("calls");
      document.EndList();
      document.Member("callCounts", counts);
    }
    WriteSceneJson(*scene, document);
    return kOk;
  }
  if (scene->kind == ReadScene::Kind::Archive) {
    output.text += "raw archive of model " + json(scene->scene.model).dump() + ", material version " +
                   (scene->scene.materialVersion ? json(*scene->scene.materialVersion) : json()).dump() + "\n";
  } else {
    output.text += std::to_string(scene->callCount) + " calls:";
    for (const auto& [fn, count] : counts) output.text += " " + fn + " " + std::to_string(count) + ";";
    output.text += "\n\nthe scene these calls leave, model " + json(scene->scene.model).dump() + "\n";
  }
  PrintScene(scene->scene, output);
  return kOk;
}

std::function<int()> Declare(CLI::App& sub, const Context& context) {
  auto options = std::make_shared<SummaryOptions>();
  sub.add_option("FILE", options->file)->required();
  sub.add_flag("--json", options->asJson);
  return [=, &context] { return Summary(*options, context.out, context.err); };
}

}  // namespace

extern const Command kSummaryCommand{
    "summary",
    "  summary FILE [--json]        what reached the renderer, from the reference link library's\n"
    "                               raw archive (.q9a) or journal\n",
    kHelp, Declare};

}  // namespace q9x
