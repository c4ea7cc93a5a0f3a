#include "received/received_scene.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>


namespace q9x {

namespace {

using nlohmann::json;

float FloatOf(const json& value) {
  if (value.is_number()) return value.get<float>();
  if (value.is_string()) {
    const std::string text = value.get<std::string>();
    if (text == "inf") return std::numeric_limits<float>::infinity();
    if (text == "-inf") return -std::numeric_limits<float>::infinity();
  }
  return std::numeric_limits<float>::quiet_NaN();
}

std::string TextOf(const json& value) { return value.is_string() ? value.get<std::string>() : ""; }

int32_t IntOf(const json& value) {
  return value.is_number_integer() ? static_cast<int32_t>(value.get<int64_t>()) : 0;
}

// Up to `count` floats of an argument's array; nothing when it is not an array of `count`.
std::optional<std::vector<float>> FloatsOf(const json& value, size_t count) {
  if (!value.is_array() || value.size() != count) return std::nullopt;
  std::vector<float> floats;
  floats.reserve(count);
  for (const json& element : value) floats.push_back(FloatOf(element));
  return floats;
}

std::optional<ReceivedCamera> CameraOf(const json& block, const json& fov) {
  const std::optional<std::vector<float>> floats = FloatsOf(block, 10);
  if (!floats) return std::nullopt;
  ReceivedCamera camera;
  for (int i = 0; i < 3; ++i) {
    camera.from[i] = (*floats)[i];
    camera.to[i] = (*floats)[3 + i];
    camera.up[i] = (*floats)[6 + i];
  }
  camera.blockFov = (*floats)[9];
  camera.fov = fov.is_null() ? camera.blockFov : FloatOf(fov);
  return camera;
}

// Raw 32-bit words of a journal array read as floats.
std::vector<float> WordsAsFloats(const json& words, size_t count) {
  std::vector<float> floats;
  floats.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const json& word = words[i];
    const uint32_t bits = word.is_number_unsigned() ? static_cast<uint32_t>(word.get<uint64_t>()) : 0;
    floats.push_back(std::bit_cast<float>(bits));
  }
  return floats;
}

void SetProperty(ReceivedProperties& properties, const json& name, json value) {
  if (name.is_string()) properties.Set(name.get<std::string>(), std::move(value));
}

json PropertyValue(const std::string& fn, const json& value, const json& next) {
  if (fn.find("String") != std::string::npos) return value;
  if (fn.find("Int") != std::string::npos) return value;
  if (fn.find("FloatArray") != std::string::npos) {
    json floats = json::array();
    const int64_t count = next.is_number_integer() ? next.get<int64_t>() : 0;
    if (value.is_array() && count >= 0 && static_cast<size_t>(count) == value.size()) {
      for (const json& element : value) floats.push_back(FloatOf(element));
    }
    return floats;
  }
  return FloatOf(value);
}

std::string Printable(std::string_view bytes, size_t limit) {
  std::string text;
  for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F) {
      text += static_cast<char>(c);
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      text += "\\x";
      text += kHex[c >> 4];
      text += kHex[c & 15];
    }
  }
  if (bytes.size() > limit) text += "...";
  return text;
}

}  // namespace

int64_t ReceivedNode::Triangles() const {
  int64_t triangles = 0;
  for (const ReceivedMesh& mesh : meshes) triangles += mesh.triangles;
  return triangles;
}

int64_t ReceivedScene::Triangles() const {
  int64_t triangles = 0;
  for (const auto& entry : nodes) triangles += entry.second.Triangles();
  return triangles;
}

std::optional<Vec3> ReceivedMaterial::DiffuseColour() const {
  const json* colour = properties.Find("Diffuse (Color)");
  if (!colour || !colour->is_string()) return std::nullopt;
  const std::string text = colour->get<std::string>();
  if (text.size() != 7 || text[0] != '#') return std::nullopt;
  Vec3 rgb{};
  for (int i = 0; i < 3; ++i) {
    unsigned value = 0;
    for (int j = 0; j < 2; ++j) {
      const char c = text[1 + 2 * i + j];
      const int digit = c >= '0' && c <= '9' ? c - '0'
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<unsigned>(digit);
    }
    rgb[i] = static_cast<float>(value) / 255.0f;
  }
  return rgb;
}

std::string ReceivedMaterial::DiffuseMap() const { return Text("Diffuse Map"); }

std::string ReceivedMaterial::Text(const std::string& name) const {
  const json* text = properties.Find(name);
  return text && text->is_string() ? text->get<std::string>() : "";
}

std::string ReceivedLight::Kind() const {
  if (properties.Find("light_template")) return "ies";
  if (properties.Find("light_cone_angle")) return "spot";
  const json* type = properties.Find("type");
  return type && type->is_number_integer() && type->get<int64_t>() == 1 ? "spot" : "point";
}

Vec3 ReceivedLight::Colour() const {
  const json* colour = properties.Find("light_color");
  if (!colour || !colour->is_array() || colour->size() != 3) return {1, 1, 1};
  Vec3 rgb{};
  for (int i = 0; i < 3; ++i) {
    const float value = (*colour)[i].is_number() ? (*colour)[i].get<float>() / 255.0f : 1.0f;
    rgb[i] = std::isfinite(value) ? std::fmin(std::fmax(value, 0.0f), 1.0f) : 1.0f;
  }
  return rgb;
}

std::optional<Matrix> ReceivedLight::Transform() const {
  const json* transform = properties.Find("transform");
  if (!transform || !transform->is_array() || transform->size() != 16) return std::nullopt;
  Matrix matrix{};
  for (size_t i = 0; i < 16; ++i) matrix[i] = FloatOf((*transform)[i]);
  return matrix;
}

double ReceivedLight::Brightness() const {
  const json* brightness = properties.Find("brightness");
  return brightness && brightness->is_number() ? brightness->get<double>() : 1.0;
}

std::optional<double> ReceivedLight::ConeAngle() const {
  const json* cone = properties.Find("light_cone_angle");
  if (!cone || !cone->is_number()) return std::nullopt;
  return cone->get<double>();
}

void ApplyCall(ReceivedScene& scene, const json& call) {
  if (!call.is_object() || !call.contains("fn") || !call["fn"].is_string()) return;
  const std::string fn = call["fn"].get<std::string>();
  static const json kNoArgs = json::array();
  const json& args = call.contains("args") && call["args"].is_array() ? call["args"] : kNoArgs;
  static const json kNull;
  auto arg = [&args](size_t i) -> const json& { return i < args.size() ? args[i] : kNull; };

  if (fn == "CreateSession") {
    // A new session starts from nothing; what the renderer shows is the last session's scene.
    const std::string source = scene.source;
    scene = ReceivedScene{};
    scene.source = source;
  } else if (fn == "SetModelFilePath") {
    scene.model = TextOf(arg(0));
  } else if (fn == "Q9SetMaterialVersion") {
    scene.materialVersion = IntOf(arg(0));
  } else if (fn == "Q9AddMaterial") {
    scene.materials.Set(TextOf(arg(0)), {});
  } else if (fn == "Q9ResetMaterial") {
    scene.materials.Remove(TextOf(arg(0)));
  } else if (fn == "Q9SetMaterialType") {
    if (ReceivedMaterial* material = scene.materials.Find(TextOf(arg(0)))) material->type = IntOf(arg(1));
  } else if (fn.starts_with("Q9SetMaterial") && fn.ends_with("Property")) {
    if (ReceivedMaterial* material = scene.materials.Find(TextOf(arg(0)))) {
      SetProperty(material->properties, arg(1), PropertyValue(fn, arg(2), kNull));
    }
  } else if (fn == "Q9AddLight") {
    scene.lights.Set(TextOf(arg(0)), {});
  } else if (fn == "Q9DeleteLight") {
    scene.lights.Remove(TextOf(arg(0)));
  } else if (fn == "Q9ClearLights") {
    scene.lights.Clear();
  } else if (fn.starts_with("Q9SetEntity") && fn.ends_with("Property")) {
    ReceivedLight* light = scene.lights.Find(TextOf(arg(1)));
    if (light && IntOf(arg(0)) == 1) {
      SetProperty(light->properties, arg(2), PropertyValue(fn, arg(3), arg(4)));
    }
  } else if (fn == "MaxBeginNode") {
    ReceivedNode node;
    if (const std::optional<std::vector<float>> matrix = FloatsOf(arg(1), 16)) {
      node.matrix.emplace();
      std::copy(matrix->begin(), matrix->end(), node.matrix->begin());
    }
    node.flag = arg(2).is_boolean() && arg(2).get<bool>();
    const std::string name = TextOf(arg(0));
    scene.nodes.Set(name, std::move(node));
    scene.openNode = name;
  } else if (fn == "Q9EndNode") {
    scene.openNode.reset();
  } else if (fn == "MaxAddTriangles") {
    ReceivedNode* node = scene.openNode ? scene.nodes.Find(*scene.openNode) : nullptr;
    if (!node) return;
    ReceivedMesh mesh;
    mesh.name = TextOf(arg(0));
    mesh.triangles = IntOf(arg(1));
    const json& words = arg(2);
    if (mesh.triangles > 0 && words.is_array()) {
      // Whole triangles only, and never more than the count names.
      const size_t held = std::min<size_t>(words.size() / 9, static_cast<size_t>(mesh.triangles));
      mesh.positions = WordsAsFloats(words, held * 9);
    }
    node->meshes.push_back(std::move(mesh));
  } else if (fn == "MaxDeleteNode" || fn == "Q9DeleteNode") {
    const std::string name = TextOf(arg(0));
    scene.nodes.Remove(name);
    if (scene.openNode == name) scene.openNode.reset();
  } else if (fn == "AddScene") {
    ReceivedSceneEntry entry;
    entry.displayName = TextOf(arg(1));
    entry.camera = CameraOf(arg(2), arg(3));
    scene.scenes.Set(TextOf(arg(0)), std::move(entry));
  } else if (fn == "Q9DeleteScene") {
    scene.scenes.Remove(TextOf(arg(0)));
  } else if (fn == "Q9ClearScenes") {
    scene.scenes.Clear();
  } else if (fn == "SendCameraTransformFov") {
    if (std::optional<ReceivedCamera> camera = CameraOf(arg(0), arg(1))) scene.camera = camera;
  }
}

namespace {

void ReadArchiveProperties(const json& from, ReceivedProperties& properties) {
  if (!from.is_object()) return;
  for (const auto& [name, value] : from.items()) properties.Set(name, value);
}

ReceivedScene SceneOfArchive(const json& archive) {
  ReceivedScene scene;
  scene.model = TextOf(archive.value("model", json()));
  if (archive.contains("materialVersion") && archive["materialVersion"].is_number_integer()) {
    scene.materialVersion = IntOf(archive["materialVersion"]);
  }
  for (const json& m : archive.value("materials", json::array())) {
    if (!m.is_object()) continue;
    ReceivedMaterial material;
    if (m.contains("type") && m["type"].is_number_integer()) material.type = IntOf(m["type"]);
    ReadArchiveProperties(m.value("properties", json::object()), material.properties);
    scene.materials.Set(TextOf(m.value("name", json("?"))), std::move(material));
  }
  for (const json& l : archive.value("lights", json::array())) {
    if (!l.is_object()) continue;
    ReceivedLight light;
    ReadArchiveProperties(l.value("properties", json::object()), light.properties);
    scene.lights.Set(TextOf(l.value("name", json("?"))), std::move(light));
  }
  for (const json& n : archive.value("nodes", json::array())) {
    if (!n.is_object()) continue;
    ReceivedNode node;
    if (const auto matrix = FloatsOf(n.value("matrix", json()), 16)) {
      node.matrix.emplace();
      std::copy(matrix->begin(), matrix->end(), node.matrix->begin());
    }
    const json flag = n.contains("flag") ? n["flag"] : json(false);
    node.flag = flag.is_boolean() && flag.get<bool>();
    for (const json& m : n.value("meshes", json::array())) {
      if (!m.is_object()) continue;
      node.meshes.push_back({TextOf(m.value("name", json("?"))), IntOf(m.value("triangles", json(0))), {}, {}, {}});
    }
    scene.nodes.Set(TextOf(n.value("name", json("?"))), std::move(node));
  }
  for (const json& s : archive.value("scenes", json::array())) {
    if (!s.is_object()) continue;
    ReceivedSceneEntry entry;
    entry.displayName = TextOf(s.value("displayName", json()));
    const json& placement = s.value("camera", json());
    if (placement.is_object()) {
      json block = json::array();
      for (const char* key : {"from", "to", "up"}) {
        for (const json& v : placement.value(key, json::array())) block.push_back(v);
      }
      block.push_back(placement.value("fov", json(0)));
      entry.camera = CameraOf(block, s.value("fov", json()));
    }
    scene.scenes.Set(TextOf(s.value("name", json("?"))), std::move(entry));
  }
  const json& camera = archive.value("camera", json());
  if (camera.is_object() && camera.value("camera", json()).is_object()) {
    const json& placement = camera["camera"];
    json block = json::array();
    for (const char* key : {"from", "to", "up"}) {
      for (const json& v : placement.value(key, json::array())) block.push_back(v);
    }
    block.push_back(placement.value("fov", json(0)));
    scene.camera = CameraOf(block, camera.value("fov", json()));
  }
  return scene;
}

}  // namespace

std::optional<ReadScene> ParseSceneText(const std::string& text, std::string& error, bool keepCalls) {
  ReadScene read;
  const json document = json::parse(text, nullptr, false);
  if (document.is_object() && document.contains("format")) {
    read.kind = ReadScene::Kind::Archive;
    read.scene = SceneOfArchive(document);
    return read;
  }
  size_t start = 0;
  size_t number = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ++number;
    std::string_view line(text.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) {
      json call = json::parse(line, nullptr, false);
      if (!call.is_object() || !call.contains("fn") || !call["fn"].is_string()) {
        error = "line " + std::to_string(number) + " (byte " + std::to_string(start) +
                ") is not a journal call: " + Printable(line, 60);
        return std::nullopt;
      }
      ApplyCall(read.scene, call);
      ++read.callCount;
      if (keepCalls) read.calls.push_back(std::move(call));
    }
    start = end + 1;
  }
  read.scene.openNode.reset();
  return read;
}

}  // namespace q9x
