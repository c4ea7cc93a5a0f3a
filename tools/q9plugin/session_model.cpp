#include "session_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <nlohmann/json.hpp>

namespace q9plugin {

namespace {

using Json = nlohmann::ordered_json;

// A float as the journal writes it: the shortest decimal that reads back to the same float
// (held as the double of that decimal, which the JSON writer prints with the same digits), and
// NaN and the infinities as texts.
Json FloatJson(float value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[32];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
  double widened = 0;
  std::from_chars(buffer, written.ptr, widened);
  return widened;
}

Json FloatsJson(const float* values, size_t count) {
  Json array = Json::array();
  for (size_t i = 0; i < count; ++i) array.push_back(FloatJson(values[i]));
  return array;
}

Json PropertiesJson(const Properties& properties) {
  Json object = Json::object();
  for (const auto& [name, value] : properties.Ordered()) {
    object[*name] = std::visit(
        [](const auto& v) -> Json {
          using V = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<V, float>) {
            return FloatJson(v);
          } else if constexpr (std::is_same_v<V, std::vector<float>>) {
            return FloatsJson(v.data(), v.size());
          } else {
            return v;
          }
        },
        *value);
  }
  return object;
}

// Adds "camera" (the block, null for a null pointer) and "fov" (the separate argument).
void AddPlacement(Json& object, const PlacedCamera& placement) {
  Json camera = Json::object();
  if (placement.camera) {
    const CameraBlock& block = *placement.camera;
    camera["from"] = FloatsJson(block.data(), 3);
    camera["to"] = FloatsJson(block.data() + 3, 3);
    camera["up"] = FloatsJson(block.data() + 6, 3);
    camera["fov"] = FloatJson(block[9]);
  } else {
    camera = nullptr;
  }
  object["camera"] = std::move(camera);
  object["fov"] = FloatJson(placement.fov);
}

// The indented document with every array that holds no array or object on one line, so that a
// matrix or a colour reads as one row. Only the line breaks and indents between elements go;
// JSON strings hold no raw line break, so nothing inside a text changes.
std::string WithLeafArraysOnOneLine(const std::string& indented) {
  std::string out;
  out.reserve(indented.size());
  bool inString = false;
  bool escaped = false;
  constexpr size_t kNone = std::string::npos;
  size_t leafStart = kNone;  // where the open array starts in `out`, while it is a leaf
  for (size_t i = 0; i < indented.size(); ++i) {
    const char c = indented[i];
    if (inString) {
      out += c;
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == '"') inString = true;
    if (c == '[') leafStart = out.size();
    if (c == '{') leafStart = kNone;
    if (c == ']' && leafStart != kNone) {
      // Collapse the array: drop each line break with its indent, keep one blank after commas.
      std::string collapsed;
      for (size_t k = leafStart; k < out.size(); ++k) {
        if (out[k] == '\n') {
          while (k + 1 < out.size() && out[k + 1] == ' ') ++k;
          if (!collapsed.empty() && collapsed.back() == ',') collapsed += ' ';
        } else {
          collapsed += out[k];
        }
      }
      out.resize(leafStart);
      out += collapsed;
      out += c;
      leafStart = kNone;
      continue;
    }
    out += c;
  }
  return out;
}

}  // namespace

std::string Session::Archive() const {
  Json archive = Json::object();
  archive["format"] = "Q9Plugin reference raw archive";
  archive["version"] = 1;
  archive["model"] = modelName;
  archive["materialVersion"] = materialVersion ? Json(*materialVersion) : Json(nullptr);

  Json materialList = Json::array();
  for (const auto& [name, material] : materials.Ordered()) {
    materialList.push_back({{"name", *name},
                            {"type", material->type ? Json(*material->type) : Json(nullptr)},
                            {"properties", PropertiesJson(material->properties)}});
  }
  archive["materials"] = std::move(materialList);

  Json lightList = Json::array();
  for (const auto& [name, light] : lights.Ordered()) {
    lightList.push_back({{"name", *name}, {"properties", PropertiesJson(light->properties)}});
  }
  archive["lights"] = std::move(lightList);

  Json nodeList = Json::array();
  for (const auto& [name, node] : nodes.Ordered()) {
    Json meshes = Json::array();
    int64_t triangles = 0;
    for (const Mesh& mesh : node->meshes) {
      meshes.push_back({{"name", mesh.name}, {"triangles", mesh.triangles}});
      triangles += mesh.triangles;
    }
    nodeList.push_back(
        {{"name", *name},
         {"matrix", node->matrix ? FloatsJson(node->matrix->data(), 16) : Json(nullptr)},
         {"flag", node->flag},
         {"triangles", triangles},
         {"meshes", std::move(meshes)}});
  }
  archive["nodes"] = std::move(nodeList);

  Json sceneList = Json::array();
  for (const auto& [name, scene] : scenes.Ordered()) {
    Json entry = {{"name", *name}, {"displayName", scene->displayName}};
    AddPlacement(entry, scene->placement);
    sceneList.push_back(std::move(entry));
  }
  archive["scenes"] = std::move(sceneList);
  if (camera) {
    Json current = Json::object();
    AddPlacement(current, *camera);
    archive["camera"] = std::move(current);
  } else {
    archive["camera"] = nullptr;
  }
  return WithLeafArraysOnOneLine(archive.dump(2)) + "\n";
}

}  // namespace q9plugin
