// The received scene: what the renderer holds after the last call it received, rebuilt from the
// reference link library's journal or its raw archive. One model for `view`, `export` and
// `summary`.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace q9x {

using Vec3 = std::array<float, 3>;
using Matrix = std::array<float, 16>;  // column by column: translation in 12, 13, 14

// Entries by name in the order in which their names first appeared; setting a name again keeps
// its place, removing it and adding it again puts it last.
template <typename T>
class NamedEntries {
 public:
  T& Set(const std::string& name, T value);
  T* Find(const std::string& name);
  const T* Find(const std::string& name) const;
  void Remove(const std::string& name);
  void Clear() { entries_.clear(); }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

 private:
  std::vector<std::pair<std::string, T>> entries_;
};

struct ReceivedMesh {
  std::string name;           // the material's name, as the host names its meshes
  int32_t triangles = 0;      // the count the call gave
  std::vector<float> positions;  // 9 floats a triangle (three corners x, y, z)
  std::vector<float> normals;    // 9 floats a triangle, or empty (a journal never holds them)
  std::vector<float> texcoords;  // 6 floats a triangle, or empty
  size_t HeldTriangles() const { return positions.size() / 9; }
};

struct ReceivedNode {
  std::optional<Matrix> matrix;
  bool flag = false;
  std::vector<ReceivedMesh> meshes;
  int64_t Triangles() const;
};

// Properties by name as the setter passed them: texts, integers, floats or float arrays.
using ReceivedProperties = NamedEntries<nlohmann::json>;

struct ReceivedMaterial {
  std::optional<int32_t> type;
  ReceivedProperties properties;
  // "Diffuse (Color)" read as "#RRGGBB", in 0..1; absent when not sent or not readable.
  std::optional<Vec3> DiffuseColour() const;
  // "Diffuse Map", or empty.
  std::string DiffuseMap() const;
  // The text property `name` as it was sent; empty when it was not sent as a text.
  std::string Text(const std::string& name) const;
};

struct ReceivedLight {
  ReceivedProperties properties;
  // "point", "spot" (a cone angle) or "ies" (a profile), from the light's properties.
  std::string Kind() const;
  // "light_color" (0..255 each) in 0..1; white when not sent (a colour temperature instead).
  Vec3 Colour() const;
  // "transform", when it was sent.
  std::optional<Matrix> Transform() const;
  // "brightness" when it was sent as a number, else 1.
  double Brightness() const;
  // "light_cone_angle" (the full opening in degrees) when it was sent as a number.
  std::optional<double> ConeAngle() const;
};

// A camera as SendCameraTransformFov and AddScene pass it. `fov` is the separate argument: the
// renderer's field of view in degrees (the host's times 1.5), read as the horizontal angle.
struct ReceivedCamera {
  Vec3 from{}, to{}, up{};
  float blockFov = 0;   // the block's own tenth float
  float fov = 0;
};

struct ReceivedSceneEntry {
  std::string displayName;
  std::optional<ReceivedCamera> camera;  // absent when the call passed a null block
};

struct ReceivedScene {
  std::string source;   // what it was read from (for captions)
  std::string model;    // SetModelFilePath
  std::optional<int32_t> materialVersion;
  NamedEntries<ReceivedMaterial> materials;
  NamedEntries<ReceivedLight> lights;
  NamedEntries<ReceivedNode> nodes;
  NamedEntries<ReceivedSceneEntry> scenes;
  std::optional<ReceivedCamera> camera;  // the last SendCameraTransformFov with a block
  std::optional<std::string> openNode;   // between MaxBeginNode and Q9EndNode

  int64_t Triangles() const;
  // The material a mesh is drawn with: the one of the mesh's name, or none.
  const ReceivedMaterial* MaterialOf(const ReceivedMesh& mesh) const { return materials.Find(mesh.name); }
};

// Applies one journal call ({"fn": ..., "args": [...]}) to `scene`. Calls of other shapes and
// unknown functions change nothing. A MaxAddTriangles whose array 1 holds fewer than 9 x count
// values keeps the whole triangles it holds.
void ApplyCall(ReceivedScene& scene, const nlohmann::json& call);

// What a source file held.
struct ReadScene {
  enum class Kind { Journal, Archive } kind = Kind::Journal;
  ReceivedScene scene;
  std::vector<nlohmann::json> calls;  // a journal's calls, in order
  size_t callCount = 0;
};

// Reads a journal (one JSON call per line; empty lines allowed) or a raw archive (one JSON
// document with "format"). Nothing, and the reason on `error` (naming the first line that is
// not a journal call, with its byte offset), when it is neither. `keepCalls` false leaves
// `calls` empty (only their count is kept), so that memory follows the triangles held.
std::optional<ReadScene> ParseSceneText(const std::string& text, std::string& error,
                                        bool keepCalls = true);

template <typename T>
T& NamedEntries<T>::Set(const std::string& name, T value) {
  if (T* existing = Find(name)) return *existing = std::move(value);
  entries_.emplace_back(name, std::move(value));
  return entries_.back().second;
}

template <typename T>
T* NamedEntries<T>::Find(const std::string& name) {
  for (auto& entry : entries_) {
    if (entry.first == name) return &entry.second;
  }
  return nullptr;
}

template <typename T>
const T* NamedEntries<T>::Find(const std::string& name) const {
  return const_cast<NamedEntries*>(this)->Find(name);
}

template <typename T>
void NamedEntries<T>::Remove(const std::string& name) {
  for (auto at = entries_.begin(); at != entries_.end(); ++at) {
    if (at->first == name) {
      entries_.erase(at);
      return;
    }
  }
}

}  // namespace q9x
