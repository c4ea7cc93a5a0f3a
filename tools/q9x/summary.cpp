#include "summary.h"

#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

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

std::string Names(const json& list) {
  std::string names;
  for (const json& item : list) {
    if (!names.empty()) names += ", ";
    names += item.value("name", json("?")).dump();
  }
  return names;
}

// The renderer's current camera as people read it: "from [x,y,z] to [...] up [...], fov F";
// anything of another shape as its JSON.
std::string CameraText(const json& camera) {
  if (!camera.is_object() || !camera.contains("camera") || !camera["camera"].is_object()) {
    return Shortened(camera).dump();
  }
  const json& placement = camera["camera"];
  std::string text;
  for (const char* key : {"from", "to", "up"}) {
    if (!text.empty()) text += ' ';
    text += std::string(key) + ' ' + Shortened(placement.value(key, json(nullptr))).dump();
  }
  return text + ", fov " + camera.value("fov", json(nullptr)).dump();
}

void PrintArchive(const json& archive, std::ostream& out) {
  out << "raw archive of model " << archive.value("model", json(nullptr)).dump()
      << ", material version " << archive.value("materialVersion", json(nullptr)).dump() << "\n";
  const json materials = archive.value("materials", json::array());
  out << "materials (" << materials.size() << ")";
  for (const json& m : materials) {
    out << "\n  " << m.value("name", json("?")).dump() << ": type "
        << m.value("type", json(nullptr)).dump() << ", "
        << m.value("properties", json::object()).size() << " properties";
  }
  const json lights = archive.value("lights", json::array());
  out << "\nlights (" << lights.size() << ")";
  for (const json& l : lights) {
    out << "\n  " << l.value("name", json("?")).dump() << ": "
        << l.value("properties", json::object()).size() << " properties";
  }
  const json nodes = archive.value("nodes", json::array());
  int64_t triangles = 0;
  for (const json& n : nodes) triangles += n.value("triangles", int64_t{0});
  out << "\nnodes (" << nodes.size() << ", " << triangles << " triangles)";
  for (const json& n : nodes) {
    const json meshes = n.value("meshes", json::array());
    out << "\n  " << n.value("name", json("?")).dump() << ": " << n.value("triangles", int64_t{0})
        << " triangles in " << meshes.size() << (meshes.size() == 1 ? " mesh" : " meshes");
    if (!meshes.empty()) out << " (" << Names(meshes) << ")";
  }
  const json scenes = archive.value("scenes", json::array());
  out << "\nscenes (" << scenes.size() << ")";
  if (!scenes.empty()) out << ": " << Names(scenes);
  out << "\ncamera: " << CameraText(archive.value("camera", json(nullptr))) << "\n";
}

bool PrintJournal(const std::string& text, std::ostream& out, std::ostream& err) {
  std::istringstream lines(text);
  std::string line;
  std::map<std::string, int64_t> counts;
  int64_t calls = 0;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    const json call = json::parse(line, nullptr, false);
    if (!call.is_object() || !call.contains("fn")) {
      err << "not a journal line: " << line.substr(0, 80) << "\n";
      return false;
    }
    const std::string fn = call["fn"].get<std::string>();
    ++counts[fn];
    ++calls;
    out << fn << " " << Shortened(call.value("args", json::array())).dump();
    if (call.contains("ret")) out << " -> " << call["ret"].dump();
    out << "\n";
  }
  out << calls << " calls:";
  for (const auto& [fn, count] : counts) out << " " << fn << " " << count << ";";
  out << "\n";
  return true;
}

}  // namespace

bool PrintSummary(const std::string& text, std::ostream& out, std::ostream& err) {
  const json document = json::parse(text, nullptr, false);
  if (document.is_object() && document.contains("format")) {
    PrintArchive(document, out);
    return true;
  }
  return PrintJournal(text, out, err);
}

}  // namespace q9x
