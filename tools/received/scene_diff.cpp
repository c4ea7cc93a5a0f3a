#include "received/scene_diff.h"

#include <cmath>
#include <optional>
#include <type_traits>
#include <utility>

namespace q9x {

namespace {

bool SameFloat(float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }

bool SameFloats(const float* a, const float* b, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (!SameFloat(a[i], b[i])) return false;
  }
  return true;
}

bool SameProperty(const PropertyValue& a, const PropertyValue& b) {
  if (a.index() != b.index()) return false;
  if (const float* real = std::get_if<float>(&a)) return SameFloat(*real, std::get<float>(b));
  if (const auto* floats = std::get_if<std::vector<float>>(&a)) {
    const auto& other = std::get<std::vector<float>>(b);
    return floats->size() == other.size() && SameFloats(floats->data(), other.data(), floats->size());
  }
  return a == b;
}

DiffValue ValueOf(const PropertyValue& value) {
  return std::visit([](const auto& v) -> DiffValue {
    using V = std::decay_t<decltype(v)>;
    if constexpr (std::is_same_v<V, int32_t>) {
      return int64_t{v};
    } else {
      return v;
    }
  }, value);
}

template <size_t count>
DiffValue ValueOf(const std::optional<std::array<float, count>>& floats) {
  if (!floats) return {};
  return std::vector<float>(floats->begin(), floats->end());
}

DiffValue ValueOf(const std::optional<int32_t>& number) {
  if (!number) return {};
  return int64_t{*number};
}

DiffValue ValueOf(const std::optional<float>& number) {
  if (!number) return {};
  return *number;
}

template <size_t count>
bool Same(const std::optional<std::array<float, count>>& a, const std::optional<std::array<float, count>>& b) {
  return a.has_value() == b.has_value() && (!a || SameFloats(a->data(), b->data(), count));
}

bool Same(const std::optional<float>& a, const std::optional<float>& b) {
  return a.has_value() == b.has_value() && (!a || SameFloat(*a, *b));
}

// The fields of one entry that differ, gathered into the difference being made.
struct Changes {
  std::vector<FieldDifference>& fields;
  void Add(const char* field, DiffValue before, DiffValue after, std::string property = {}) {
    fields.push_back({field, std::move(property), std::move(before), std::move(after)});
  }
};

void CompareProperties(Changes& changes, const ReceivedProperties& before, const ReceivedProperties& after) {
  for (const auto& [name, value] : before) {
    const PropertyValue* other = after.Find(name);
    if (!other) {
      changes.Add("property", ValueOf(value), {}, name);
    } else if (!SameProperty(value, *other)) {
      changes.Add("property", ValueOf(value), ValueOf(*other), name);
    }
  }
  for (const auto& [name, value] : after) {
    if (!before.Find(name)) changes.Add("property", {}, ValueOf(value), name);
  }
}

void CompareMaterial(Changes& changes, const ReceivedMaterial& before, const ReceivedMaterial& after) {
  if (before.type != after.type) changes.Add("type", ValueOf(before.type), ValueOf(after.type));
  CompareProperties(changes, before.properties, after.properties);
}

void CompareLight(Changes& changes, const ReceivedLight& before, const ReceivedLight& after) {
  CompareProperties(changes, before.properties, after.properties);
}

// The print of a node's positions, from its meshes' in order; none when a mesh has none.
std::optional<PositionsPrint> NodePrint(const ReceivedNode& node) {
  PositionsPrint print;
  for (const ReceivedMesh& mesh : node.meshes) {
    if (!mesh.printed) return std::nullopt;
    print.hash = HashStep(print.hash, mesh.print.hash);
    if (mesh.print.bounded) print.Add(mesh.print.bounds);
  }
  return print;
}

template <typename Of>
auto MeshValues(const ReceivedNode& node, Of of) {
  std::vector<decltype(of(node.meshes.front()))> values;
  values.reserve(node.meshes.size());
  for (const ReceivedMesh& mesh : node.meshes) values.push_back(of(mesh));
  return values;
}

std::string MaterialOf(const ReceivedMesh& mesh) { return mesh.name; }
int64_t TrianglesOf(const ReceivedMesh& mesh) { return mesh.triangles; }

// Whether each mesh of the two nodes has the same `of`.
template <typename Of>
bool SameMeshes(const ReceivedNode& before, const ReceivedNode& after, Of of) {
  if (before.meshes.size() != after.meshes.size()) return false;
  for (size_t i = 0; i < before.meshes.size(); ++i) {
    if (of(before.meshes[i]) != of(after.meshes[i])) return false;
  }
  return true;
}

DiffValue BoundsValue(const PositionsPrint& print) {
  if (!print.bounded) return {};
  const Bounds& b = print.bounds;
  return std::vector<float>{b.low[0], b.low[1], b.low[2], b.high[0], b.high[1], b.high[2]};
}

std::string HashText(uint64_t hash) {
  static const char kHex[] = "0123456789abcdef";
  std::string text(16, '0');
  for (size_t i = 0; i < 16; ++i) text[15 - i] = kHex[(hash >> (4 * i)) & 15];
  return text;
}

void CompareNode(Changes& changes, const ReceivedNode& before, const ReceivedNode& after) {
  if (!Same(before.matrix, after.matrix)) changes.Add("matrix", ValueOf(before.matrix), ValueOf(after.matrix));
  if (before.flag != after.flag) changes.Add("flag", before.flag, after.flag);
  const int64_t triangles = before.Triangles(), afterTriangles = after.Triangles();
  if (triangles != afterTriangles) changes.Add("triangles", triangles, afterTriangles);
  if (!SameMeshes(before, after, MaterialOf)) {
    changes.Add("meshes", MeshValues(before, MaterialOf), MeshValues(after, MaterialOf));
  }
  if (!SameMeshes(before, after, TrianglesOf)) {
    changes.Add("meshTriangles", MeshValues(before, TrianglesOf), MeshValues(after, TrianglesOf));
  }
  // A side read without prints (a raw archive holds no positions) leaves positions uncompared.
  const std::optional<PositionsPrint> a = NodePrint(before), b = NodePrint(after);
  if (!a || !b) return;
  if (a->bounded != b->bounded || (a->bounded && a->bounds != b->bounds)) {
    changes.Add("bounds", BoundsValue(*a), BoundsValue(*b));
  }
  if (a->hash != b->hash) changes.Add("positions", HashText(a->hash), HashText(b->hash));
}

std::optional<CameraBlock> BlockOf(const std::optional<ReceivedCamera>& camera) {
  if (!camera) return std::nullopt;
  return camera->Block();
}

void CompareSceneEntry(Changes& changes, const ReceivedSceneEntry& before, const ReceivedSceneEntry& after) {
  if (before.displayName != after.displayName) changes.Add("displayName", before.displayName, after.displayName);
  const std::optional<CameraBlock> a = BlockOf(before.camera), b = BlockOf(after.camera);
  if (!Same(a, b)) changes.Add("camera", ValueOf(a), ValueOf(b));
  if (!SameFloat(before.fov, after.fov)) changes.Add("fov", before.fov, after.fov);
}

// Removed and changed entries in `before`'s order, then the added in `after`'s.
template <typename T, typename CompareEntry>
void CompareLists(DiffSubject subject, const NamedList<T>& before, const NamedList<T>& after,
                  const DifferenceSink& each, CompareEntry compare) {
  Difference difference;
  difference.subject = subject;
  Changes changes{difference.fields};
  for (const auto& [name, entry] : before) {
    difference.fields.clear();
    const T* other = after.Find(name);
    if (other) {
      compare(changes, entry, *other);
      if (difference.fields.empty()) continue;
    }
    difference.kind = other ? DiffKind::Changed : DiffKind::Removed;
    difference.name = name;
    each(difference);
  }
  difference.fields.clear();
  difference.kind = DiffKind::Added;
  for (const auto& [name, entry] : after) {
    if (before.Find(name)) continue;
    difference.name = name;
    each(difference);
  }
}

void CompareModel(const ReceivedScene& before, const ReceivedScene& after, const DifferenceSink& each) {
  Difference difference;
  Changes changes{difference.fields};
  if (before.model != after.model) changes.Add("path", before.model, after.model);
  if (before.materialVersion != after.materialVersion) {
    changes.Add("materialVersion", ValueOf(before.materialVersion), ValueOf(after.materialVersion));
  }
  if (!difference.fields.empty()) each(difference);
}

void CompareCamera(const ReceivedScene& before, const ReceivedScene& after, const DifferenceSink& each) {
  Difference difference;
  difference.subject = DiffSubject::Camera;
  Changes changes{difference.fields};
  const std::optional<CameraBlock> a = BlockOf(before.camera), b = BlockOf(after.camera);
  if (!Same(a, b)) changes.Add("camera", ValueOf(a), ValueOf(b));
  const std::optional<float> fov = before.camera ? std::optional(before.camera->fov) : std::nullopt;
  const std::optional<float> afterFov = after.camera ? std::optional(after.camera->fov) : std::nullopt;
  if (!Same(fov, afterFov)) changes.Add("fov", ValueOf(fov), ValueOf(afterFov));
  if (!Same(before.cameraWithoutBlock, after.cameraWithoutBlock)) {
    changes.Add("fovWithoutBlock", ValueOf(before.cameraWithoutBlock), ValueOf(after.cameraWithoutBlock));
  }
  if (!difference.fields.empty()) each(difference);
}

}  // namespace

void CompareScenes(const ReceivedScene& before, const ReceivedScene& after, const DifferenceSink& each) {
  CompareModel(before, after, each);
  CompareLists(DiffSubject::Material, before.materials, after.materials, each, CompareMaterial);
  CompareLists(DiffSubject::Light, before.lights, after.lights, each, CompareLight);
  CompareLists(DiffSubject::Node, before.nodes, after.nodes, each, CompareNode);
  CompareLists(DiffSubject::Scene, before.scenes, after.scenes, each, CompareSceneEntry);
  CompareCamera(before, after, each);
}

uint64_t DiffCounts::Total() const {
  uint64_t total = 0;
  for (const auto& kinds : of) {
    for (const uint64_t count : kinds) total += count;
  }
  return total;
}

DiffCounts CountDifferences(const ReceivedScene& before, const ReceivedScene& after) {
  DiffCounts counts;
  CompareScenes(before, after, [&counts](const Difference& difference) { ++counts.At(difference.subject, difference.kind); });
  return counts;
}

std::vector<Difference> Differences(const ReceivedScene& before, const ReceivedScene& after) {
  std::vector<Difference> differences;
  CompareScenes(before, after, [&differences](const Difference& difference) { differences.push_back(difference); });
  return differences;
}

const char* SubjectName(DiffSubject subject) {
  static const char* const kNames[kDiffSubjects] = {"model", "material", "light", "node", "scene", "camera"};
  return kNames[static_cast<size_t>(subject)];
}

const char* KindName(DiffKind kind) {
  static const char* const kNames[kDiffKinds] = {"added", "removed", "changed"};
  return kNames[static_cast<size_t>(kind)];
}

}  // namespace q9x
