// Two received scenes compared by name, whatever the order in which their calls came: what was
// added, removed and changed, field by field, from the scene "before" to the scene "after".
// `q9x diff` renders it (diff_report.h); a replay asks it what one step changed.
//
// Compared: the model path and material version; materials (type, each property); lights (each
// property); nodes (matrix, flag, triangle count, meshes with their materials and counts, and,
// when both sides carry PositionsPrints, the box around the positions and their hash); scenes
// (display name, camera, fov); the current camera. Entries are matched by name, properties by
// property name, so an entry deleted and added again equal, or properties set in another order,
// make no difference. Numbers are equal when they hold the same value (0 and -0 alike, a NaN
// equal to a NaN); positions when their bits are.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "received/received_scene.h"

namespace q9x {

// What a difference is about, in the order the differences come.
enum class DiffSubject : uint8_t { Model, Material, Light, Node, Scene, Camera };
inline constexpr size_t kDiffSubjects = 6;
enum class DiffKind : uint8_t { Added, Removed, Changed };
inline constexpr size_t kDiffKinds = 3;

// A field's value on one side; monostate when that side has none (a property not set, a node
// without matrix, no camera sent).
using DiffValue = std::variant<std::monostate, bool, int64_t, float, std::string, std::vector<float>,
                               std::vector<int64_t>, std::vector<std::string>>;

// The fields, by subject (`property` names the property of a material or light):
//   model:    "path" (text), "materialVersion" (integer)
//   material: "type" (integer), "property"
//   light:    "property"
//   node:     "matrix" (16 floats), "flag", "triangles", "meshes" (each mesh's material name),
//             "meshTriangles" (each mesh's count), "bounds" (low x, y, z, high x, y, z),
//             "positions" (the hash, 16 hexadecimal digits)
//   scene:    "displayName", "camera" (the 10 floats of the block), "fov"
//   camera:   "camera" (the block), "fov", "fovWithoutBlock" (of a later call with no block)
struct FieldDifference {
  std::string field;
  std::string property;  // for "property"; else empty
  DiffValue before, after;
};

struct Difference {
  DiffSubject subject = DiffSubject::Model;
  // The model and the camera are always Changed, a field absent on the side that has none.
  DiffKind kind = DiffKind::Changed;
  std::string name;  // the entry's; empty for the model and the camera
  std::vector<FieldDifference> fields;  // Changed: each field that differs; else none
};

using DifferenceSink = std::function<void(const Difference&)>;

// Hands every difference to `each`, subject by subject in DiffSubject's order; within a subject
// the removed and changed entries in `before`'s order, then the added in `after`'s. Holds one
// difference at a time; costs what the two scenes hold.
void CompareScenes(const ReceivedScene& before, const ReceivedScene& after, const DifferenceSink& each);

struct DiffCounts {
  std::array<std::array<uint64_t, kDiffKinds>, kDiffSubjects> of{};
  uint64_t& At(DiffSubject subject, DiffKind kind) { return of[static_cast<size_t>(subject)][static_cast<size_t>(kind)]; }
  uint64_t At(DiffSubject subject, DiffKind kind) const {
    return of[static_cast<size_t>(subject)][static_cast<size_t>(kind)];
  }
  uint64_t Total() const;
};

DiffCounts CountDifferences(const ReceivedScene& before, const ReceivedScene& after);
// Every difference, in CompareScenes' order: for scenes that differ little (a replay's step).
std::vector<Difference> Differences(const ReceivedScene& before, const ReceivedScene& after);

// The names the renderings use: "model", "material", ...; "added", "removed", "changed".
const char* SubjectName(DiffSubject subject);
const char* KindName(DiffKind kind);

}  // namespace q9x
