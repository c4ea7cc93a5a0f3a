#include "picture/gltf_writer.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <map>

#include "picture/scene_render.h"

namespace q9x {

namespace {

using nlohmann::json;

constexpr double kPi = 3.14159265358979323846;
constexpr int kFloatComponent = 5126;
constexpr int kArrayBuffer = 34962;

using D3 = std::array<double, 3>;
D3 Sub(D3 a, D3 b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
D3 Cross(D3 a, D3 b) { return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]}; }
double Length(D3 a) { return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]); }
D3 Unit(D3 a, D3 fallback) {
  const double length = Length(a);
  if (!(length > 1e-30) || !std::isfinite(length)) return fallback;
  return {a[0] / length, a[1] / length, a[2] / length};
}
D3 Of(const Vec3& v) { return {v[0], v[1], v[2]}; }

json Floats(std::initializer_list<double> values) {
  json array = json::array();
  for (double v : values) array.push_back(v);
  return array;
}

json MatrixJson(const Matrix& m) {
  json array = json::array();
  for (float v : m) array.push_back(v);
  return array;
}

bool IsIdentity(const Matrix& m) {
  for (int i = 0; i < 16; ++i) {
    if (m[i] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
  }
  return true;
}

bool FiniteMatrix(const Matrix& m) {
  for (float v : m) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

// A map path as a file URI: "C:\Data\Textures\oak.png" gives "file:///C:/Data/Textures/oak.png",
// "/data/oak.png" "file:///data/oak.png"; every byte outside the unreserved characters, "/" and
// a drive's ":" is percent-encoded.
std::string MapUri(const std::string& path) {
  const bool drive = path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
  std::string uri = drive ? "file:///" : "file://";
  if (!drive && !path.starts_with("/") && !path.starts_with("\\")) uri += "/";
  static const char kHex[] = "0123456789ABCDEF";
  for (char c : path) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '\\') {
      uri += '/';
    } else if (std::isalnum(u) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/' ||
               (c == ':' && drive)) {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[u >> 4];
      uri += kHex[u & 15];
    }
  }
  return uri;
}

class GlbWriter {
 public:
  // Appends floats as a buffer view and an accessor of `type`; its index.
  size_t Accessor(const std::vector<float>& values, const char* type, size_t components, bool bounds) {
    const size_t offset = bin_.size();
    bin_.resize(offset + values.size() * 4);
    std::memcpy(bin_.data() + offset, values.data(), values.size() * 4);
    json view = {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", values.size() * 4},
                 {"target", kArrayBuffer}};
    gltf_["bufferViews"].push_back(view);
    json accessor = {{"bufferView", gltf_["bufferViews"].size() - 1},
                     {"componentType", kFloatComponent},
                     {"count", values.size() / components},
                     {"type", type}};
    if (bounds) {
      std::vector<float> low(values.begin(), values.begin() + components), high = low;
      for (size_t i = 0; i < values.size(); ++i) {
        low[i % components] = std::min(low[i % components], values[i]);
        high[i % components] = std::max(high[i % components], values[i]);
      }
      accessor["min"] = low;
      accessor["max"] = high;
    }
    gltf_["accessors"].push_back(accessor);
    return gltf_["accessors"].size() - 1;
  }

  json& gltf() { return gltf_; }

  std::string Finish() {
    if (!bin_.empty()) gltf_["buffers"] = json::array({{{"byteLength", bin_.size()}}});
    std::string text = gltf_.dump();
    while (text.size() % 4) text += ' ';
    std::string bin = bin_;
    while (bin.size() % 4) bin += '\0';
    std::string glb;
    auto word = [&glb](uint32_t value) {
      for (int i = 0; i < 4; ++i) glb += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    const size_t length = 12 + 8 + text.size() + (bin.empty() ? 0 : 8 + bin.size());
    word(0x46546C67);  // "glTF"
    word(2);
    word(static_cast<uint32_t>(length));
    word(static_cast<uint32_t>(text.size()));
    word(0x4E4F534A);  // "JSON"
    glb += text;
    if (!bin.empty()) {
      word(static_cast<uint32_t>(bin.size()));
      word(0x004E4942);  // "BIN"
      glb += bin;
    }
    return glb;
  }

 private:
  json gltf_ = json::object();
  std::string bin_;
};

// A camera's node matrix: glTF cameras look along their -Z with +Y up.
Matrix CameraMatrix(const ReceivedCamera& camera) {
  const D3 from = Of(camera.from);
  const D3 forward = Unit(Sub(Of(camera.to), from), {0, 1, 0});
  D3 right = Unit(Cross(forward, Of(camera.up)), {0, 0, 0});
  if (Length(right) == 0) right = Unit(Cross(forward, {0, 0, 1}), {0, 0, 0});
  if (Length(right) == 0) right = Unit(Cross(forward, {0, 1, 0}), {1, 0, 0});
  const D3 up = Cross(right, forward);
  auto f = [](double v) { return static_cast<float>(v); };
  return {f(right[0]),    f(right[1]),    f(right[2]),    0,
          f(up[0]),       f(up[1]),       f(up[2]),       0,
          f(-forward[0]), f(-forward[1]), f(-forward[2]), 0,
          f(from[0]),     f(from[1]),     f(from[2]),     1};
}

bool FiniteCamera(const ReceivedCamera& camera) {
  for (int i = 0; i < 3; ++i) {
    if (!std::isfinite(camera.from[i]) || !std::isfinite(camera.to[i]) || !std::isfinite(camera.up[i])) {
      return false;
    }
  }
  return true;
}

json CameraJson(const std::string& name, const ReceivedCamera& camera) {
  double fov = camera.fov;
  if (!(fov >= 1 && fov <= 179)) fov = 60;
  const double yfov = 2 * PortableAtan(PortableTan(fov * kPi / 360.0) / kExportAspect);
  return {{"name", name},
          {"type", "perspective"},
          {"perspective", {{"aspectRatio", kExportAspect}, {"yfov", yfov}, {"znear", 0.01}}}};
}

std::vector<float> FlatNormals(const std::vector<float>& positions) {
  std::vector<float> normals(positions.size());
  for (size_t t = 0; t + 9 <= positions.size(); t += 9) {
    const D3 a{positions[t], positions[t + 1], positions[t + 2]};
    const D3 b{positions[t + 3], positions[t + 4], positions[t + 5]};
    const D3 c{positions[t + 6], positions[t + 7], positions[t + 8]};
    const D3 n = Unit(Cross(Sub(b, a), Sub(c, a)), {0, 0, 1});
    for (int k = 0; k < 3; ++k) {
      for (int i = 0; i < 3; ++i) normals[t + 3 * k + i] = static_cast<float>(n[i]);
    }
  }
  return normals;
}

}  // namespace

std::string ExportGlb(const ReceivedScene& scene) {
  GlbWriter writer;
  json& gltf = writer.gltf();
  gltf["asset"] = {{"version", "2.0"}, {"generator", "q9x export"}};
  gltf["scene"] = 0;
  // The host's Z-up axes turned to glTF's Y-up: -90 degrees about X.
  gltf["nodes"] = json::array({{{"name", "Received scene"},
                                {"rotation", Floats({-0.70710678118654752, 0, 0, 0.70710678118654752})},
                                {"children", json::array()}}});
  gltf["scenes"] = json::array({{{"name", scene.model.empty() ? "received" : scene.model}, {"nodes", {0}}}});
  auto addChild = [&gltf](json node) {
    gltf["nodes"].push_back(std::move(node));
    gltf["nodes"][0]["children"].push_back(gltf["nodes"].size() - 1);
  };

  // Materials in the order they were added; only those a mesh uses are written.
  std::map<std::string, size_t> materialIndex;
  auto materialOf = [&](const std::string& name) -> std::optional<size_t> {
    const ReceivedMaterial* material = scene.materials.Find(name);
    if (!material) return std::nullopt;
    if (auto at = materialIndex.find(name); at != materialIndex.end()) return at->second;
    const Vec3 colour = material->DiffuseColour().value_or(Vec3{1, 1, 1});
    json entry = {{"name", name},
                  {"pbrMetallicRoughness",
                   {{"baseColorFactor", Floats({colour[0], colour[1], colour[2], 1.0})},
                    {"metallicFactor", 0.0}}},
                  {"doubleSided", true}};
    const std::string map = material->DiffuseMap();
    if (!map.empty()) {
      gltf["images"].push_back({{"uri", MapUri(map)}, {"name", map}});
      entry["extras"] = {{"diffuseMap", map}, {"image", gltf["images"].size() - 1}};
    }
    gltf["materials"].push_back(std::move(entry));
    return materialIndex[name] = gltf["materials"].size() - 1;
  };

  for (const auto& [name, node] : scene.nodes) {
    json entry = {{"name", name}};
    if (node.matrix && FiniteMatrix(*node.matrix) && !IsIdentity(*node.matrix)) {
      entry["matrix"] = MatrixJson(*node.matrix);
    }
    json primitives = json::array();
    for (const ReceivedMesh& mesh : node.meshes) {
      // Whole triangles with finite corners only.
      std::vector<float> positions, normals, texcoords;
      const bool sentNormals = mesh.normals.size() == mesh.positions.size();
      const bool sentTexcoords = mesh.texcoords.size() * 3 == mesh.positions.size() * 2;
      for (size_t t = 0; t < mesh.HeldTriangles(); ++t) {
        bool finite = true;
        for (size_t i = 0; i < 9; ++i) finite = finite && std::isfinite(mesh.positions[t * 9 + i]);
        if (sentTexcoords) {
          for (size_t i = 0; i < 6; ++i) finite = finite && std::isfinite(mesh.texcoords[t * 6 + i]);
        }
        if (!finite) continue;
        positions.insert(positions.end(), mesh.positions.begin() + t * 9, mesh.positions.begin() + t * 9 + 9);
        if (sentNormals) {
          for (size_t k = 0; k < 3; ++k) {
            const float* n = &mesh.normals[t * 9 + k * 3];
            const D3 unit = Unit({n[0], n[1], n[2]}, {0, 0, 0});
            for (int i = 0; i < 3; ++i) normals.push_back(static_cast<float>(unit[i]));
          }
        }
        if (sentTexcoords) {
          texcoords.insert(texcoords.end(), mesh.texcoords.begin() + t * 6, mesh.texcoords.begin() + t * 6 + 6);
        }
      }
      if (positions.empty()) continue;
      // Corner normals that were sent but do not make a direction give way to the triangles'.
      bool usable = sentNormals;
      for (size_t i = 0; usable && i + 3 <= normals.size(); i += 3) {
        usable = normals[i] != 0 || normals[i + 1] != 0 || normals[i + 2] != 0;
      }
      if (!usable) normals = FlatNormals(positions);
      json attributes = {{"POSITION", writer.Accessor(positions, "VEC3", 3, true)},
                         {"NORMAL", writer.Accessor(normals, "VEC3", 3, false)}};
      if (sentTexcoords) attributes["TEXCOORD_0"] = writer.Accessor(texcoords, "VEC2", 2, false);
      json primitive = {{"attributes", attributes}, {"mode", 4}};
      if (const std::optional<size_t> material = materialOf(mesh.name)) primitive["material"] = *material;
      primitives.push_back(std::move(primitive));
    }
    if (!primitives.empty()) {
      gltf["meshes"].push_back({{"name", name}, {"primitives", std::move(primitives)}});
      entry["mesh"] = gltf["meshes"].size() - 1;
    }
    addChild(std::move(entry));
  }

  auto addCamera = [&](const std::string& name, const ReceivedCamera& camera) {
    if (!FiniteCamera(camera)) return;
    gltf["cameras"].push_back(CameraJson(name, camera));
    addChild({{"name", name}, {"camera", gltf["cameras"].size() - 1}, {"matrix", MatrixJson(CameraMatrix(camera))}});
  };
  if (scene.camera) addCamera("Current camera", *scene.camera);
  for (const auto& [name, entry] : scene.scenes) {
    if (entry.camera) addCamera("Scene " + name, *entry.camera);
  }

  json lights = json::array();
  for (const auto& [name, light] : scene.lights) {
    const Vec3 colour = light.Colour();
    json entry = {{"name", name}, {"color", Floats({colour[0], colour[1], colour[2]})}};
    const double intensity = light.Brightness();
    entry["intensity"] = std::isfinite(intensity) && intensity >= 0 ? intensity : 1.0;
    const std::string kind = light.Kind();
    if (kind == "spot") {
      // The cone angle as the full opening in degrees.
      const std::optional<double> cone = light.ConeAngle();
      double outer = cone ? *cone * kPi / 360.0 : kPi / 4;
      if (!(outer > 0.001)) outer = 0.001;
      if (outer > kPi / 2) outer = kPi / 2;
      entry["type"] = "spot";
      entry["spot"] = {{"innerConeAngle", 0.0}, {"outerConeAngle", outer}};
    } else {
      entry["type"] = "point";  // a profile's light is shown as a point light
    }
    entry["extras"] = {{"kind", kind}};
    lights.push_back(std::move(entry));
    json node = {{"name", name}, {"extensions", {{"KHR_lights_punctual", {{"light", lights.size() - 1}}}}}};
    const std::optional<Matrix> transform = light.Transform();
    if (transform && FiniteMatrix(*transform) && !IsIdentity(*transform)) node["matrix"] = MatrixJson(*transform);
    addChild(std::move(node));
  }
  if (!lights.empty()) {
    gltf["extensionsUsed"] = {"KHR_lights_punctual"};
    gltf["extensions"] = {{"KHR_lights_punctual", {{"lights", std::move(lights)}}}};
  }
  if (gltf["nodes"][0]["children"].empty()) gltf["nodes"][0].erase("children");
  return writer.Finish();
}

}  // namespace q9x
