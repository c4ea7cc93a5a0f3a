// What one session of the reference link library holds: the scene the building calls collect,
// kept only as far as the raw archive shows it (names, types, properties, triangle counts; never
// the mesh arrays themselves).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace q9plugin {

// Entries by name in the order in which their names first appeared; setting an existing name
// keeps its place, removing and adding again puts it last.
template <typename T>
class NamedList {
 public:
  T& Set(const std::string& name, T value) {
    auto [at, inserted] = entries_.try_emplace(name, next_, std::move(value));
    if (inserted) {
      ++next_;
    } else {
      at->second.second = std::move(value);
    }
    return at->second.second;
  }
  T* Find(const std::string& name) {
    auto at = entries_.find(name);
    return at == entries_.end() ? nullptr : &at->second.second;
  }
  void Remove(const std::string& name) { entries_.erase(name); }
  void Clear() { entries_.clear(); }
  // (name, entry) pairs in list order.
  std::vector<std::pair<const std::string*, const T*>> Ordered() const;

 private:
  std::map<std::string, std::pair<uint64_t, T>> entries_;
  uint64_t next_ = 0;
};

// A property value as the setter passed it.
using PropertyValue = std::variant<std::string, int32_t, float, std::vector<float>>;
using Properties = NamedList<PropertyValue>;

// The ten floats of a camera block: from, to, up, fov.
using CameraBlock = std::array<float, 10>;

struct PlacedCamera {
  std::optional<CameraBlock> camera;  // absent when the call passed a null pointer
  float fov = 0;                      // the separate fov argument
};

struct Material {
  std::optional<int32_t> type;
  Properties properties;
};

struct Light {
  Properties properties;
};

struct Mesh {
  std::string name;
  int32_t triangles = 0;
};

struct Node {
  std::optional<std::array<float, 16>> matrix;
  bool flag = false;
  std::vector<Mesh> meshes;
};

struct Scene {
  std::string displayName;  // the second name of AddScene
  PlacedCamera placement;
};

struct Session {
  std::string modelName;  // SetModelFilePath
  std::optional<int32_t> materialVersion;
  bool connected = false;
  NamedList<Material> materials;
  NamedList<Light> lights;
  NamedList<Node> nodes;
  std::optional<std::string> openNode;  // between MaxBeginNode and Q9EndNode
  NamedList<Scene> scenes;
  std::optional<PlacedCamera> camera;  // the last SendCameraTransformFov

  // The raw archive: a readable JSON document of everything above but the connection.
  std::string Archive() const;
};

template <typename T>
std::vector<std::pair<const std::string*, const T*>> NamedList<T>::Ordered() const {
  std::vector<std::pair<uint64_t, std::pair<const std::string*, const T*>>> byOrder;
  byOrder.reserve(entries_.size());
  for (const auto& [name, entry] : entries_) byOrder.push_back({entry.first, {&name, &entry.second}});
  std::sort(byOrder.begin(), byOrder.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::pair<const std::string*, const T*>> ordered;
  ordered.reserve(byOrder.size());
  for (const auto& item : byOrder) ordered.push_back(item.second);
  return ordered;
}

}  // namespace q9plugin
