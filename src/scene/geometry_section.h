// The geometry section reader: materials, lights, solids with their meshes, and views, each sent
// to the renderer right after it is read.
//
// Section layout (offsets from the section's first byte, the base):
//   header     materialBlockEnd, lightBlockSpan, solidBlockSize, viewBlockSize, reserved16 (int32)
//   materials  at 20: item table (uint32 n, n int32 offsets); item: int32 textBytes, two int32,
//              textBytes / 2 UTF-16 units of material text (ending early at a zero unit)
//   lights     at materialBlockEnd, or 20 without materials: item table; item: one string
//   solids     at materialBlockEnd + lightBlockSpan, or 20 when that is 0: item table (offset 0:
//              no item); item: int32, int32 headerLength, uint8, int32 timeStamp, string, int32,
//              int32, int32 solidId, string, skipped up to headerLength, then its mesh list
//   mesh       int32, int32 headerLength, int32, int32, string meshName, string, skipped up to
//              headerLength, then arrays 1 to 8, each uint32 k and k 32-bit values
//   views      one string, right where the reading before it stopped
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "scene/scene_container.h"

namespace q9 {

struct GeometrySectionHeader {
  int32_t materialBlockEnd = 0;
  int32_t lightBlockSpan = 0;
  int32_t solidBlockSize = 0;
  int32_t viewBlockSize = 0;
  int32_t reserved16 = 0;
};

struct SolidItem {
  int64_t at = 0;  // absolute file offset of the item
  int32_t headerLength = 0;
  int32_t timeStamp = 0;
  int32_t solidId = 0;
  uint64_t meshCount = 0;  // entries of the mesh list kept, null entries included
};

// One mesh as read: the arrays lie in buffers of exactly their element count, valid only during
// the call that receives them.
struct MeshItem {
  int64_t at = 0;
  int32_t headerLength = 0;
  std::u16string meshName;
  uint64_t counts[container::kMeshArrays] = {};  // element counts of arrays 1 to 8, cut to the file
  bool complete[container::kMeshArrays] = {};    // whether the file held each array in full
  const uint32_t* array1 = nullptr;  // null when empty
  const uint32_t* array2 = nullptr;
  const uint32_t* array5 = nullptr;

  // Nine values of array 1 per triangle.
  int32_t triangleCount() const {
    return static_cast<int32_t>(counts[container::kPositionsArray] / container::kValuesPerTriangle);
  }
};

// What a walk through a section reports, item by item, in file order. Any member may be empty.
struct GeometryVisitor {
  std::function<void(const GeometrySectionHeader&)> header;
  std::function<void(int64_t at, std::u16string text)> material;
  std::function<void(int64_t at, std::u16string text)> light;
  // Before the solid's meshes; its mesh list has been read.
  std::function<void(const SolidItem&)> beginSolid;
  std::function<void(const MeshItem&)> mesh;
  std::function<void()> endSolid;
  std::function<void(int64_t at, std::u16string text)> views;
};

// Walks the geometry section at absolute offset `base` through `reader`. Every count, length
// and offset is bounded by the file: a table or text cut by the end of the file yields what the
// file holds, an offset outside the file reads as zeros, and the walk stops when the reader's
// work budget is spent. Any bytes are safe (fuzzed); it holds one text, or one mesh's name and
// three arrays, at a time, each within the file.
void WalkGeometrySection(ContainerReader& reader, int64_t base, const GeometryVisitor& visitor);

// Reads the geometry section at absolute offset `base` of the container's open file and sends
// it: each material (ParseMaterial, kept in `materials`, SendMaterial), each light
// (ParseLightSource, kept in `lights`, SendLight), each solid (kept in `solids`; MaxBeginNode,
// one MaxAddTriangles per mesh, Q9EndNode) and the views (ParseCameraList, UpdateScenes).
// Mesh arrays go to the renderer from the buffers they were read into; an empty array, or an
// array 2 or 5 that the file holds only in part, is passed as null. Any bytes are safe (fuzzed);
// what it keeps grows at most with the items the reader's work budget lets it read.
void readGeometrySection(SceneContainer& container, int64_t base);

// "Solid_" + signed decimal id; calls MaxBeginNode with it, the identity matrix and true, and
// returns it.
std::u16string beginSolidNode(LinkSession& session, int32_t solidId);

}  // namespace q9
