// What one session of the reference link library holds: the scene the building calls collect,
// kept only as far as the raw archive shows it (names, types, properties, triangle counts; never
// the mesh arrays themselves).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "base/platform.h"

namespace q9plugin {

// Entries by name in the order in which their names first appeared; setting an existing name
// keeps its place, removing and adding again puts it last. Setting, finding and removing cost
// the same whatever the list holds; the list order costs nothing to walk.
template <typename T>
class NamedList {
 public:
  T& Set(const std::string& name, T value) {
    auto [at, inserted] = index_.try_emplace(name, slots_.size());
    if (!inserted) return *(slots_[at->second].value = std::move(value));
    try {
      slots_.push_back({&at->first, std::move(value)});
    } catch (...) {
      index_.erase(at);
      throw;
    }
    return *slots_.back().value;
  }
  T* Find(const std::string& name) {
    const auto at = index_.find(name);
    return at == index_.end() ? nullptr : &*slots_[at->second].value;
  }
  void Remove(const std::string& name) {
    const auto at = index_.find(name);
    if (at == index_.end()) return;
    slots_[at->second] = Slot{};
    index_.erase(at);
    // Removed entries leave a gap; once gaps are most of the list it closes them, so that a list
    // emptied by many removals costs no more to walk than it holds.
    if (++gaps_ > 16 && gaps_ * 2 > slots_.size()) Close();
  }
  void Clear() {
    index_.clear();
    slots_.clear();
    gaps_ = 0;
  }
  size_t size() const { return index_.size(); }
  // Calls visit(name, entry) for each entry in list order.
  template <typename Visit>
  void ForEach(Visit&& visit) const {
    for (const Slot& slot : slots_) {
      if (slot.name) visit(*slot.name, *slot.value);
    }
  }

 private:
  struct Slot {
    const std::string* name = nullptr;  // the index's key; null for the gap a removal left
    std::optional<T> value;
  };
  void Close() {
    size_t kept = 0;
    for (size_t i = 0; i < slots_.size(); ++i) {
      if (!slots_[i].name) continue;
      index_.find(*slots_[i].name)->second = kept;
      if (i != kept) slots_[kept] = std::move(slots_[i]);
      ++kept;
    }
    slots_.resize(kept);
    gaps_ = 0;
  }

  std::unordered_map<std::string, size_t> index_;  // name -> slot; node keys never move
  std::deque<Slot> slots_;  // grows without moving its entries
  size_t gaps_ = 0;
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
  Node* openEntry = nullptr;            // its entry while it is in the list
  NamedList<Scene> scenes;
  std::optional<PlacedCamera> camera;  // the last SendCameraTransformFov
};

// Writes the raw archive of `session` (a readable JSON document of everything above but the
// connection) to `file` as it goes, never whole in memory. False when a write failed, with the
// reason of the first in `error` (if given); the caller finishes the file.
bool WriteArchive(const Session& session, std::FILE* file, q9::platform::FileError* error = nullptr);

}  // namespace q9plugin
