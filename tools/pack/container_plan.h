// A container in three steps, one file pair each: what it holds (ContainerContent, below, filled
// from a JSON description by pack_description.h or by a program such as grid_model.h), a checked
// plan (this file: every section's size and place computed, the whole bounded by a limit), and
// its bytes written to a sink section by section (container_write.h). Memory follows the largest
// item and the item tables, never the whole file: the solids of a geometry section are made one
// at a time by a source, once while planning and once while writing.
//
// The layout comes from the one table of src/scene/container_format.h. Values marked as
// overrides are written in place of the ones the layout computes, for damaged files; they never
// move a byte.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "scene/container_format.h"

namespace q9x {

// What stops a pack, saying what and where: "cannot read oak.txt", "entry 1: ...".
struct PackError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// The sink refused the bytes (a full disk, a file that cannot be written).
struct SinkError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The text of a material, light or view item: given, or the content of a file (UTF-8), read
// while planning (to size it) and again while writing.
struct ItemText {
  std::u16string text;
  std::string file;  // a path; when not empty it stands in place of `text`
};

struct MaterialItem {
  ItemText text;
  std::optional<uint32_t> textBytes;  // override of the text's size in bytes
};

// One mesh item. Array values are 32-bit words as stored (float bits for positions).
struct MeshValues {
  uint32_t field0 = 0, field1 = 0, field2 = 0;  // not interpreted by the reader
  std::u16string name, tag;
  uint32_t padding = 0;  // zero bytes between the tag and array 1, counted by headerLength
  std::optional<uint32_t> headerLength;
  std::array<std::vector<uint32_t>, q9::container::kMeshArrays> arrays;
  std::array<std::optional<uint32_t>, q9::container::kMeshArrays> counts;  // overrides
};

// One solid item and its meshes.
struct SolidValues {
  uint32_t field0 = 0, field1 = 0, field2 = 0;  // not interpreted by the reader
  uint32_t id = 0;
  uint32_t timeStamp = 0;
  uint8_t flag = 0;
  std::u16string name, tag;
  uint32_t padding = 0;  // zero bytes between the tag and the mesh list, counted by headerLength
  std::optional<uint32_t> headerLength;
  std::optional<uint32_t> meshCount;  // override of the mesh list's count
  std::vector<std::optional<MeshValues>> meshes;  // none: a mesh list entry 0
};

// The solids of a geometry section, made one at a time.
class SolidSource {
 public:
  virtual ~SolidSource() = default;
  // The entries of the solid table.
  virtual uint64_t count() const = 0;
  // Fills `solid` with the solid of table entry `index` (below count()); false for an entry 0,
  // no solid. `solid` holds what the previous call left, so a source may reuse its vectors; it
  // is asked once while planning and once while writing and gives the same solid both times.
  // Throws PackError.
  virtual bool Solid(uint64_t index, SolidValues& solid) = 0;
};

struct GeometryContent {
  // A block is present when given, an empty list included.
  std::optional<std::vector<MaterialItem>> materials;
  std::optional<std::vector<ItemText>> lights;
  std::shared_ptr<SolidSource> solids;  // null: no solid block
  std::optional<ItemText> views;
  // Overrides of the section header and the tables' counts.
  std::optional<uint32_t> materialBlockEnd, lightBlockSpan, solidBlockSize, viewBlockSize;
  std::optional<uint32_t> reserved16;
  std::optional<uint32_t> materialCount, lightCount, solidCount;
};

struct ChangeItem {
  std::u16string kind;
  std::vector<uint32_t> ids;
  std::optional<uint32_t> idCount;  // override
};

struct ChangeListContent {
  std::vector<ChangeItem> items;
  std::optional<uint32_t> count;  // override of the table's value count (2 per item)
};

struct EntryContent {
  std::u16string name;  // the host project's path, at most 1027 units
  std::optional<uint32_t> type;  // default: 2 for a geometry section, 4 for a change list, else 0
  std::optional<uint32_t> offset;  // where the section goes; default: behind all written so far
  std::optional<uint32_t> offsetValue;  // override of the offset the directory gives
  // No section, a geometry section, a change list, or bytes as they stand.
  std::variant<std::monostate, GeometryContent, ChangeListContent, std::string> section;
};

// Bytes written over the container once every entry is written.
struct PatchContent {
  uint64_t at = 0;
  std::optional<size_t> entry;  // `at` counts from this entry's section
  std::string bytes;
};

struct ContainerContent {
  std::u16string name;  // at most 511 units (it may run into the preserved word)
  uint16_t preservedWord = 0;
  // Overrides; the defaults are 0, 208644, 1, the name's length and the last entry's index.
  std::optional<uint32_t> reserved0, headerSize, reserved8, nameLength, lastEntryIndex;
  std::vector<EntryContent> entries;  // at most 100
  std::vector<PatchContent> patches;
  std::optional<uint64_t> truncate;  // the length the file is cut to, when shorter
};

// The largest container a plan accepts by default: what 32-bit offsets reach.
constexpr uint64_t kMaxContainerBytes = uint64_t{1} << 32;

struct PlanLimits {
  // No byte of the container, before any cut, may lie at or beyond this offset; nor may any
  // file that an item reads be larger. Never more than kMaxContainerBytes.
  uint64_t maxBytes = kMaxContainerBytes;
};

// Where everything goes. Made only by PlanContainer; written by WriteContainer
// (container_write.h).
struct ContainerPlan {
  struct Geometry {
    uint32_t header[5] = {};  // the section header as written
    uint32_t materialCount = 0, lightCount = 0, solidCount = 0;  // the tables' counts as written
    // Table entries: offsets from the section's first byte; 0 for a solid entry without a solid.
    std::vector<uint32_t> materials, lights, solids;
    uint64_t solidsEnd = 0;  // where the last solid ends
    std::vector<uint64_t> materialUnits, lightUnits;  // each text's length as planned
    uint64_t viewUnits = 0;
  };
  struct Entry {
    bool hasSection = false;
    uint64_t base = 0;   // the section's first byte in the file
    uint64_t bytes = 0;  // the section's length
    uint32_t type = 0;
    uint32_t offsetValue = 0;
    Geometry geometry;
  };

  ContainerContent content;
  std::vector<Entry> entries;
  std::vector<uint64_t> patchAt;  // each patch's absolute offset
  uint64_t length = 0;  // the file's length: the end of the furthest byte, or the cut
  std::string warning;  // what the reader will not see as described (views out of place)
  PlanLimits limits;
};

// The text of an item: its own, or its file's (at most `limit` bytes), read each time it is asked
// for. PackError when the file cannot be read or is larger: "cannot read PATH", "PATH: N bytes,
// more than the container may have (LIMIT)".
std::u16string ItemTextOf(const ItemText& item, uint64_t limit);

// The bytes a mesh item takes in a section: its header and its arrays.
uint64_t MeshItemBytes(const MeshValues& mesh);

// Checks `content` and computes the plan: PackError names the first problem (a name too long,
// more than 100 entries, a patch of an entry not described, a file that cannot be read, a
// container beyond `limits`).
ContainerPlan PlanContainer(ContainerContent content, const PlanLimits& limits = {});

}  // namespace q9x
