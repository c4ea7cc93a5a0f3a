#include "received/received_scene.h"

#include <cmath>

namespace q9x {

namespace {

// A property that holds a number, as a double.
std::optional<double> NumberOf(const PropertyValue* value) {
  if (!value) return std::nullopt;
  if (const int32_t* integer = std::get_if<int32_t>(value)) return *integer;
  if (const float* real = std::get_if<float>(value)) return *real;
  return std::nullopt;
}

const std::vector<float>* FloatsOf(const PropertyValue* value) {
  return value ? std::get_if<std::vector<float>>(value) : nullptr;
}

}  // namespace

void Bounds::Add(const Bounds& other) {
  for (size_t i = 0; i < 3; ++i) {
    low[i] = std::fmin(low[i], other.low[i]);
    high[i] = std::fmax(high[i], other.high[i]);
  }
}

void PositionsPrint::Add(const Bounds& more) {
  if (bounded) {
    bounds.Add(more);
  } else {
    bounds = more;
    bounded = true;
  }
}

// A multiply and a fold per value keep the streaming cheap; the fold after the multiply carries
// the high bits, which the multiply mixes best, down into the low ones.
uint64_t HashStep(uint64_t hash, uint64_t value) {
  hash = (hash ^ value) * 0x9E3779B97F4A7C15u;
  return hash ^ (hash >> 29);
}

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
  const PropertyValue* colour = properties.Find("Diffuse (Color)");
  const std::string* text = colour ? std::get_if<std::string>(colour) : nullptr;
  if (!text || text->size() != 7 || (*text)[0] != '#') return std::nullopt;
  Vec3 rgb{};
  for (int i = 0; i < 3; ++i) {
    unsigned value = 0;
    for (int j = 0; j < 2; ++j) {
      const char c = (*text)[1 + 2 * i + j];
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
  const PropertyValue* value = properties.Find(name);
  const std::string* text = value ? std::get_if<std::string>(value) : nullptr;
  return text ? *text : "";
}

std::string ReceivedLight::Kind() const {
  if (properties.Find("light_template")) return "ies";
  if (properties.Find("light_cone_angle")) return "spot";
  const PropertyValue* type = properties.Find("type");
  const int32_t* number = type ? std::get_if<int32_t>(type) : nullptr;
  return number && *number == 1 ? "spot" : "point";
}

Vec3 ReceivedLight::Colour() const {
  const std::vector<float>* colour = FloatsOf(properties.Find("light_color"));
  if (!colour || colour->size() != 3) return {1, 1, 1};
  Vec3 rgb{};
  for (int i = 0; i < 3; ++i) {
    const float value = (*colour)[i] / 255.0f;
    rgb[i] = std::isfinite(value) ? std::fmin(std::fmax(value, 0.0f), 1.0f) : 1.0f;
  }
  return rgb;
}

std::optional<Matrix> ReceivedLight::Transform() const {
  const std::vector<float>* transform = FloatsOf(properties.Find("transform"));
  if (!transform || transform->size() != 16) return std::nullopt;
  Matrix matrix{};
  std::copy(transform->begin(), transform->end(), matrix.begin());
  return matrix;
}

double ReceivedLight::Brightness() const {
  return NumberOf(properties.Find("brightness")).value_or(1.0);
}

std::optional<double> ReceivedLight::ConeAngle() const {
  return NumberOf(properties.Find("light_cone_angle"));
}

ReceivedCamera ReceivedCamera::Of(const CameraBlock& block, float fov) {
  ReceivedCamera camera;
  for (int i = 0; i < 3; ++i) {
    camera.from[i] = block[i];
    camera.to[i] = block[3 + i];
    camera.up[i] = block[6 + i];
  }
  camera.blockFov = block[9];
  camera.fov = fov;
  return camera;
}

CameraBlock ReceivedCamera::Block() const {
  return {from[0], from[1], from[2], to[0], to[1], to[2], up[0], up[1], up[2], blockFov};
}

void ReceivedScene::StartSession() {
  std::string kept = std::move(source);
  *this = ReceivedScene{};
  source = std::move(kept);
}

void ReceivedScene::AddMaterial(std::string_view name) { materials.Set(name, {}); }

// The renderer forgets the material; it comes back only with a new AddMaterial.
void ReceivedScene::ResetMaterial(std::string_view name) { materials.Remove(name); }

void ReceivedScene::SetMaterialType(std::string_view name, int32_t type) {
  if (ReceivedMaterial* material = materials.Find(name)) material->type = type;
}

void ReceivedScene::SetMaterialProperty(std::string_view material, std::string_view property,
                                        PropertyValue value) {
  if (ReceivedMaterial* entry = materials.Find(material)) entry->properties.Set(property, std::move(value));
}

void ReceivedScene::AddLight(std::string_view name) { lights.Set(name, {}); }

void ReceivedScene::DeleteLight(std::string_view name) { lights.Remove(name); }

void ReceivedScene::ClearLights() { lights.Clear(); }

void ReceivedScene::SetEntityProperty(int32_t kind, std::string_view entity, std::string_view property,
                                      PropertyValue value) {
  if (kind != 1) return;
  if (ReceivedLight* light = lights.Find(entity)) light->properties.Set(property, std::move(value));
}

ReceivedNode& ReceivedScene::BeginNode(std::string_view name, const std::optional<Matrix>& matrix, bool flag) {
  ReceivedNode node;
  node.matrix = matrix;
  node.flag = flag;
  ReceivedNode& entry = nodes.Set(name, std::move(node));
  open_.name = std::string(name);
  open_.entry = &entry;
  return entry;
}

ReceivedMesh* ReceivedScene::AddMesh(std::string_view name, int32_t triangles) {
  if (!open_.entry && open_.name) open_.entry = nodes.Find(*open_.name);
  if (!open_.entry) return nullptr;
  ReceivedMesh& mesh = open_.entry->meshes.emplace_back();
  mesh.name = name;
  mesh.triangles = triangles;
  return &mesh;
}

void ReceivedScene::EndNode() {
  open_.name.reset();
  open_.entry = nullptr;
}

void ReceivedScene::DeleteNode(std::string_view name) {
  nodes.Remove(name);
  // A removal may move entries: the open node is found again, and is gone if it was removed.
  open_.entry = open_.name ? nodes.Find(*open_.name) : nullptr;
  if (!open_.entry) open_.name.reset();
}

void ReceivedScene::AddScene(std::string_view name, std::string_view displayName,
                             const std::optional<CameraBlock>& block, float fov) {
  ReceivedSceneEntry entry;
  entry.displayName = displayName;
  if (block) entry.camera = ReceivedCamera::Of(*block, fov);
  entry.fov = fov;
  scenes.Set(name, std::move(entry));
}

void ReceivedScene::DeleteScene(std::string_view name) { scenes.Remove(name); }

void ReceivedScene::ClearScenes() { scenes.Clear(); }

void ReceivedScene::SendCamera(const std::optional<CameraBlock>& block, float fov) {
  if (block) {
    camera = ReceivedCamera::Of(*block, fov);
    cameraWithoutBlock.reset();
  } else {
    cameraWithoutBlock = fov;
  }
}

}  // namespace q9x
