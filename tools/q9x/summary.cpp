#include "q9x/summary.h"

#include <charconv>
#include <cmath>
#include <map>
#include <memory>

#include "q9x/command.h"
#include "q9x/exit_status.h"
#include "common/files.h"

namespace q9x {

namespace {

using nlohmann::json;

// Arrays longer than this are shown by their length.
constexpr size_t kShownValues = 6;

json Shortened(const json& value) {
  if (value.is_array()) {
    if (value.size() > kShownValues) return "[" + std::to_string(value.size()) + " values]";
    json shortened = json::array();
    for (const json& element : value) shortened.push_back(Shortened(element));
    return shortened;
  }
  return value;
}

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
  for (const auto& [name, value] : properties) object[name] = value;
  return object;
}

void PrintScene(const ReceivedScene& scene, std::ostream& out) {
  out << "materials (" << scene.materials.size() << ")";
  for (const auto& [name, m] : scene.materials) {
    out << "\n  " << json(name).dump() << ": type " << (m.type ? json(*m.type) : json()).dump()
        << ", " << m.properties.size() << " properties";
  }
  out << "\nlights (" << scene.lights.size() << ")";
  for (const auto& [name, l] : scene.lights) {
    out << "\n  " << json(name).dump() << ": " << l.properties.size() << " properties";
  }
  out << "\nnodes (" << scene.nodes.size() << ", " << scene.Triangles() << " triangles)";
  for (const auto& [name, n] : scene.nodes) {
    out << "\n  " << json(name).dump() << ": " << n.Triangles() << " triangles in "
        << n.meshes.size() << (n.meshes.size() == 1 ? " mesh" : " meshes");
    if (!n.meshes.empty()) {
      out << " (";
      for (size_t i = 0; i < n.meshes.size(); ++i) out << (i ? ", " : "") << json(n.meshes[i].name).dump();
      out << ")";
    }
  }
  out << "\nscenes (" << scene.scenes.size() << ")";
  bool first = true;
  for (const auto& [name, s] : scene.scenes) {
    out << (first ? ": " : ", ") << json(name).dump();
    first = false;
  }
  out << "\ncamera: " << CameraText(scene.camera) << "\n";
}

std::map<std::string, int64_t> CallCounts(const std::vector<json>& calls) {
  std::map<std::string, int64_t> counts;
  for (const json& call : calls) ++counts[call["fn"].get<std::string>()];
  return counts;
}

json ShortCall(const json& call) {
  json shown = {{"fn", call["fn"]}, {"args", Shortened(call.value("args", json::array()))}};
  if (call.contains("ret")) shown["ret"] = call["ret"];
  return shown;
}

void Print(const ReadScene& read, std::ostream& out) {
  if (read.kind == ReadScene::Kind::Archive) {
    out << "raw archive of model " << json(read.scene.model).dump() << ", material version "
        << (read.scene.materialVersion ? json(*read.scene.materialVersion) : json()).dump() << "\n";
    PrintScene(read.scene, out);
    return;
  }
  for (const json& call : read.calls) {
    out << call["fn"].get<std::string>() << " " << Shortened(call.value("args", json::array())).dump();
    if (call.contains("ret")) out << " -> " << call["ret"].dump();
    out << "\n";
  }
  out << read.calls.size() << " calls:";
  for (const auto& [fn, count] : CallCounts(read.calls)) out << " " << fn << " " << count << ";";
  out << "\n\nthe scene these calls leave, model " << json(read.scene.model).dump() << "\n";
  PrintScene(read.scene, out);
}

}  // namespace

json SummaryJson(const ReadScene& read) {
  const ReceivedScene& scene = read.scene;
  json summary = {{"kind", read.kind == ReadScene::Kind::Archive ? "archive" : "journal"},
                  {"model", scene.model},
                  {"materialVersion", scene.materialVersion ? json(*scene.materialVersion) : json()}};
  if (read.kind == ReadScene::Kind::Journal) {
    json calls = json::array();
    for (const json& call : read.calls) calls.push_back(ShortCall(call));
    summary["calls"] = std::move(calls);
    summary["callCounts"] = CallCounts(read.calls);
  }
  json materials = json::array();
  for (const auto& [name, m] : scene.materials) {
    materials.push_back({{"name", name}, {"type", m.type ? json(*m.type) : json()},
                         {"properties", PropertiesJson(m.properties)}});
  }
  json lights = json::array();
  for (const auto& [name, l] : scene.lights) {
    lights.push_back({{"name", name}, {"kind", l.Kind()}, {"properties", PropertiesJson(l.properties)}});
  }
  json nodes = json::array();
  for (const auto& [name, n] : scene.nodes) {
    json meshes = json::array();
    for (const ReceivedMesh& mesh : n.meshes) meshes.push_back({{"name", mesh.name}, {"triangles", mesh.triangles}});
    nodes.push_back({{"name", name}, {"triangles", n.Triangles()}, {"meshes", std::move(meshes)}});
  }
  json scenes = json::array();
  for (const auto& [name, s] : scene.scenes) {
    scenes.push_back({{"name", name}, {"displayName", s.displayName}, {"camera", CameraJson(s.camera)}});
  }
  summary["materials"] = std::move(materials);
  summary["lights"] = std::move(lights);
  summary["nodes"] = std::move(nodes);
  summary["triangles"] = scene.Triangles();
  summary["scenes"] = std::move(scenes);
  summary["camera"] = CameraJson(scene.camera);
  return summary;
}

namespace {

constexpr const char* kHelp = R"(usage: q9x summary FILE [--json]

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

struct SummaryOptions {
  std::string file;
  bool asJson = false;
};

int Summary(const SummaryOptions& options, std::ostream& out, std::ostream& err) {
  const std::optional<std::string> text = ReadWholeFile(options.file);
  if (!text) {
    err << "q9x summary: cannot read " << options.file << "\n";
    return kFailed;
  }
  std::string error;
  const std::optional<ReadScene> read = ParseSceneText(*text, error);
  if (!read) {
    err << "q9x summary: " << options.file << ": " << error << "\n";
    return kFailed;
  }
  if (options.asJson) {
    out << SummaryJson(*read).dump(2) << "\n";
  } else {
    Print(*read, out);
  }
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
