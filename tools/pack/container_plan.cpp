#include "pack/container_plan.h"

#include <algorithm>

#include "base/text.h"
#include "common/files.h"

namespace q9x {

namespace {

namespace layout = q9::container;

std::string Number(uint64_t value) { return std::to_string(value); }

[[noreturn]] void TooLarge(const std::string& where, uint64_t limit) {
  throw PackError(where + ": the container would grow beyond " + Number(limit) +
                  " bytes, the most it may have");
}

// `at` + `bytes` where both stay within `limit`; checked before the sum is made, so it never
// wraps.
uint64_t Add(uint64_t at, uint64_t bytes, uint64_t limit, const std::string& where) {
  if (at > limit || bytes > limit - at) TooLarge(where, limit);
  return at + bytes;
}

// Offsets in a section from its first byte at `base`, kept within the limit of the file.
struct SectionCursor {
  uint64_t base;
  uint64_t limit;
  const std::string& where;
  uint64_t at = 0;

  void Grow(uint64_t bytes) { at = Add(base + at, bytes, limit, where) - base; }
  void Table(uint64_t entries) {
    if (entries > limit / layout::kTableEntryBytes) TooLarge(where, limit);
    Grow(layout::TableBytes(entries));
  }
};

// The bytes of a solid item with its meshes; `stop` receives where a reader's reading of it
// stops: behind its last mesh, or behind its mesh list when it has none.
uint64_t SolidBytes(const SolidValues& solid, uint64_t& stop) {
  uint64_t bytes = layout::kSolidHeaderLengthAt +
                   layout::SolidHeaderLength(solid.name.size(), solid.tag.size()) + solid.padding +
                   layout::TableBytes(solid.meshes.size());
  stop = bytes;
  for (const std::optional<MeshValues>& mesh : solid.meshes) {
    if (!mesh) continue;
    bytes += MeshItemBytes(*mesh);
    stop = bytes;
  }
  return bytes;
}

// The blocks of a geometry section, each planned from where the one before it ended. `stop`
// follows where a reader's reading of the section stops, which is where the view block must
// start for the reader to find it.

// Returns the block's end.
uint32_t PlanMaterials(const GeometryContent& content, ContainerPlan::Geometry& plan,
                       SectionCursor& section, uint64_t& stop) {
  const std::vector<MaterialItem>& items = *content.materials;
  section.Table(items.size());
  plan.materialCount = content.materialCount.value_or(static_cast<uint32_t>(items.size()));
  stop = section.at;
  for (const MaterialItem& item : items) {
    const uint64_t units = ItemTextOf(item.text, section.limit).size();
    plan.materials.push_back(static_cast<uint32_t>(section.at));
    plan.materialUnits.push_back(units);
    // The reader takes the text's size as given, an override included, in whole units.
    const uint32_t textBytes = item.textBytes.value_or(static_cast<uint32_t>(units * 2));
    const int32_t signedBytes = static_cast<int32_t>(textBytes);
    stop = section.at + layout::kMaterialTextAt +
           (signedBytes > 0 ? static_cast<uint64_t>(signedBytes / 2) * 2 : 0);
    section.Grow(layout::kMaterialTextAt + 2 * units);
  }
  return static_cast<uint32_t>(section.at);
}

void PlanLights(const GeometryContent& content, ContainerPlan::Geometry& plan,
                SectionCursor& section, uint64_t& stop) {
  const std::vector<ItemText>& items = *content.lights;
  section.Table(items.size());
  plan.lightCount = content.lightCount.value_or(static_cast<uint32_t>(items.size()));
  stop = section.at;
  for (const ItemText& item : items) {
    const uint64_t units = ItemTextOf(item, section.limit).size();
    plan.lights.push_back(static_cast<uint32_t>(section.at));
    plan.lightUnits.push_back(units);
    section.Grow(layout::StringBytes(units));
    stop = section.at;
  }
}

// Returns the block's size.
uint32_t PlanSolids(const GeometryContent& content, ContainerPlan::Geometry& plan,
                    SectionCursor& section, uint64_t& stop) {
  SolidSource& source = *content.solids;
  const uint64_t start = section.at;
  const uint64_t count = source.count();
  section.Table(count);
  plan.solidCount = content.solidCount.value_or(static_cast<uint32_t>(count));
  plan.solids.reserve(static_cast<size_t>(count));
  stop = section.at;
  SolidValues solid;
  for (uint64_t i = 0; i < count; ++i) {
    if (!source.Solid(i, solid)) {
      plan.solids.push_back(0);
      continue;
    }
    uint64_t solidStop = 0;
    const uint64_t bytes = SolidBytes(solid, solidStop);
    plan.solids.push_back(static_cast<uint32_t>(section.at));
    stop = section.at + solidStop;
    section.Grow(bytes);
  }
  plan.solidsEnd = section.at;
  return static_cast<uint32_t>(section.at - start);
}

// Plans a geometry section at `base`; returns its length.
uint64_t PlanGeometry(GeometryContent& content, ContainerPlan::Geometry& plan, uint64_t base,
                      uint64_t limit, const std::string& where, std::string& warning) {
  SectionCursor section{base, limit, where};
  section.at = layout::kGeometryHeaderBytes;
  uint64_t stop = section.at;
  uint32_t materialBlockEnd = 0;
  uint32_t lightBlockSpan = 0;
  uint32_t solidBlockSize = 0;
  uint32_t viewBlockSize = 0;
  if (content.materials) materialBlockEnd = PlanMaterials(content, plan, section, stop);
  if (content.lights) {
    PlanLights(content, plan, section, stop);
    // Counted from the end of the material block, or from the section start without one.
    lightBlockSpan = static_cast<uint32_t>(section.at - materialBlockEnd);
  }
  if (content.solids) solidBlockSize = PlanSolids(content, plan, section, stop);
  if (content.views) {
    if (stop != section.at) {
      warning += "views placed at section offset " + Number(section.at) +
                 ", but reading stops at " + Number(stop) + "; ";
    }
    plan.viewUnits = ItemTextOf(*content.views, limit).size();
    const uint64_t bytes = layout::StringBytes(plan.viewUnits);
    section.Grow(bytes);
    viewBlockSize = static_cast<uint32_t>(bytes);
  }

  plan.header[0] = content.materialBlockEnd.value_or(materialBlockEnd);
  plan.header[1] = content.lightBlockSpan.value_or(lightBlockSpan);
  plan.header[2] = content.solidBlockSize.value_or(solidBlockSize);
  plan.header[3] = content.viewBlockSize.value_or(viewBlockSize);
  plan.header[4] = content.reserved16.value_or(0);
  return section.at;
}

uint64_t ChangeListBytes(const ChangeListContent& content) {
  uint64_t bytes = layout::TableBytes(layout::kChangeValuesPerItem * content.items.size());
  for (const ChangeItem& item : content.items) {
    bytes += layout::StringBytes(item.kind.size()) + layout::IdListBytes(item.ids.size());
  }
  return bytes;
}

}  // namespace

std::u16string ItemTextOf(const ItemText& item, uint64_t limit) {
  if (item.file.empty()) return item.text;
  const Outcome<std::string> bytes = ReadWholeFile(item.file, limit, "the container may have");
  if (!bytes) throw PackError(bytes.failure().reason);
  return q9::Utf16FromUtf8(*bytes);
}

uint64_t MeshItemBytes(const MeshValues& mesh) {
  uint64_t bytes = layout::kMeshHeaderLengthAt +
                   layout::MeshHeaderLength(mesh.name.size(), mesh.tag.size()) + mesh.padding;
  for (const std::vector<uint32_t>& array : mesh.arrays) bytes += layout::ArrayBytes(array.size());
  return bytes;
}

ContainerPlan PlanContainer(ContainerContent content, const PlanLimits& limits) {
  ContainerPlan plan;
  plan.limits = limits;
  // Beyond 4 GiB the 32-bit offsets of the format would wrap.
  const uint64_t limit = std::min(limits.maxBytes, kMaxContainerBytes);
  if (content.entries.size() > layout::kDirectoryEntries) throw PackError("more than 100 entries");
  // The name may run into the preserved word (a damaged header), never past its block.
  if (content.name.size() > layout::kNameBlockUnits - 1) {
    throw PackError("container name longer than " + Number(layout::kNameBlockUnits - 1) + " units");
  }
  uint64_t extent = Add(0, layout::kHeaderSize, limit, "header");

  for (size_t i = 0; i < content.entries.size(); ++i) {
    EntryContent& entry = content.entries[i];
    ContainerPlan::Entry& placed = plan.entries.emplace_back();
    const std::string where = "entry " + Number(i);
    if (entry.name.size() > layout::kEntryNameUnits - 1) {
      throw PackError("entry name longer than " + Number(layout::kEntryNameUnits - 1) + " units");
    }
    int32_t type = 0;
    if (std::holds_alternative<GeometryContent>(entry.section)) {
      type = layout::kGeometrySectionType;
    } else if (std::holds_alternative<ChangeListContent>(entry.section)) {
      type = layout::kChangeListSectionType;
    }
    placed.type = entry.type.value_or(static_cast<uint32_t>(type));
    placed.hasSection = !std::holds_alternative<std::monostate>(entry.section);
    placed.base = entry.offset ? *entry.offset : placed.hasSection ? extent : 0;
    if (placed.hasSection) {
      Add(placed.base, 0, limit, where);
      if (auto* geometry = std::get_if<GeometryContent>(&entry.section)) {
        placed.bytes =
            PlanGeometry(*geometry, placed.geometry, placed.base, limit, where, plan.warning);
      } else if (auto* changes = std::get_if<ChangeListContent>(&entry.section)) {
        placed.bytes = ChangeListBytes(*changes);
      } else {
        placed.bytes = std::get<std::string>(entry.section).size();
      }
      // A section of no bytes still makes the file reach its offset.
      extent = std::max(extent, Add(placed.base, placed.bytes, limit, where));
    }
    placed.offsetValue = entry.offsetValue.value_or(static_cast<uint32_t>(placed.base));
  }

  for (size_t i = 0; i < content.patches.size(); ++i) {
    const PatchContent& patch = content.patches[i];
    uint64_t at = patch.at;
    if (patch.entry) {
      if (*patch.entry >= content.entries.size()) {
        throw PackError("patch of entry " + Number(*patch.entry) + ", which is not described");
      }
      at += plan.entries[*patch.entry].base;
    }
    extent = std::max(extent, Add(at, patch.bytes.size(), limit, "patch " + Number(i)));
    plan.patchAt.push_back(at);
  }
  plan.length = content.truncate ? std::min(*content.truncate, extent) : extent;
  plan.content = std::move(content);
  return plan;
}

}  // namespace q9x
