#include "bundle/name_sites.h"

#include <algorithm>

#include "base/platform.h"
#include "base/text.h"
#include "records/record_reader.h"
#include "scene/container_format.h"
#include "scene/container_reader.h"
#include "scene/geometry_section.h"

namespace q9x::bundle {

namespace {

namespace format = q9::container;

struct NameKey {
  std::u16string_view pattern;
  NameKind kind;
};
// The keys whose values are names, with their separator: what the record kinds' key tables
// read as text, less the light's kind name.
constexpr NameKey kNameKeys[] = {
    {u"InterfaceName [", NameKind::Material},  {u"MaterialID_Name [", NameKind::Material},
    {u"ExtendMaterial_strFile [", NameKind::Map}, {u"LightName [", NameKind::Light},
    {u"LightSourceIDName [", NameKind::Light}, {u"strIESF_FilePath [", NameKind::Map},
    {u"Camera_Name [", NameKind::View},
};

// The names of a record text whose unit `i` lies at `base + i * unitBytes`.
void FindTextSites(std::u16string_view text, uint64_t base, uint64_t unitBytes, NameTable& names,
                   Sites& sites) {
  q9::RecordReader reader(text);
  std::u16string_view line;
  while (reader.NextLine(line)) {
    // A CR before the LF belongs to the line for the parsers; it is no part of a name.
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    for (const NameKey& key : kNameKeys) {
      if (!q9::KeyMatches(line, key.pattern)) continue;
      const std::u16string value = q9::TextValue(line, key.pattern);
      if (!value.empty()) {
        const uint64_t unit = static_cast<uint64_t>(line.data() - text.data()) + key.pattern.size();
        sites.sites.push_back({base + unit * unitBytes, names.Learn(value, key.kind)});
      }
      break;
    }
  }
}

// The string at the reader's position, a name as a whole (a solid's or a mesh's name or tag);
// the reader is left behind it.
void FindStringSite(q9::ContainerReader& fields, NameKind kind, NameTable& names, Sites& sites) {
  const int64_t at = fields.position();
  const std::u16string text = fields.ReadString();
  if (!text.empty()) {
    sites.sites.push_back({static_cast<uint64_t>(at) + format::kStringLengthBytes,
                           names.Learn(text, kind)});
  }
}

// A zero-ended text of at most `units` units at `at`, a path.
void FindPathSites(q9::ContainerReader& fields, int64_t at, size_t units, NameTable& names,
                   Sites& sites) {
  std::u16string text(units, u'\0');
  fields.Seek(at);
  fields.Read(text.data(), units * 2);
  text.resize(std::min(text.size(), text.find(u'\0')));
  LearnPathParts(text, NameKind::Project, names, [&](uint32_t name, size_t unit) {
    sites.sites.push_back({static_cast<uint64_t>(at) + unit * 2, name});
  });
}

struct Entry {
  int32_t type;
  int32_t offset;
};

// The header's names, and the directory's entries in use.
std::vector<Entry> FindHeaderSites(q9::ContainerReader& fields, NameTable& names, Sites& sites) {
  FindPathSites(fields, format::kNameBlockAt, format::kMaxNameUnits, names, sites);
  fields.Seek(format::kLastEntryIndexAt);
  const int32_t lastEntryIndex = fields.ReadInt32();
  std::vector<Entry> used;
  for (int i = 0; i < format::kDirectoryEntries; ++i) {
    const int64_t at = static_cast<int64_t>(format::kDirectoryAt + i * format::kEntrySize);
    FindPathSites(fields, at, format::kEntryNameUnits, names, sites);
    fields.Seek(at + static_cast<int64_t>(format::kEntryTypeAt));
    const int32_t type = fields.ReadInt32();
    const int32_t offset = fields.ReadInt32();
    if (i <= lastEntryIndex) used.push_back({type, offset});
  }
  return used;
}

// Bounded by the file: a distinct place is at least a string's length field and one unit.
void CompactWhenLarge(Sites& sites, const NameTable& names, size_t& nextCompaction) {
  if (sites.sites.size() < nextCompaction) return;
  sites.Settle(names);
  nextCompaction = std::max(nextCompaction, 2 * sites.sites.size());
}

}  // namespace

void Sites::Settle(const NameTable& names) {
  std::sort(sites.begin(), sites.end());
  sites.erase(std::unique(sites.begin(), sites.end()), sites.end());
  const uint64_t unitBytes = utf16 ? 2 : 1;
  uint64_t end = 0;
  std::vector<Site> kept;
  kept.reserve(sites.size());
  for (const Site& site : sites) {
    if (site.offset < end) continue;
    kept.push_back(site);
    end = site.offset + names[site.name].text.size() * unitBytes;
  }
  sites = std::move(kept);
}

bool FindContainerSites(const std::u16string& path, NameTable& names, Sites& sites) {
  // The walk and the reads of single fields each have a file of their own, so that neither moves
  // the other's position.
  q9::platform::UniqueFile walked = q9::platform::OpenFile(path, "rb");
  q9::platform::UniqueFile read = q9::platform::OpenFile(path, "rb");
  if (!walked || !read) return false;
  sites.utf16 = true;
  q9::ContainerReader reader;
  q9::ContainerReader fields;
  reader.Attach(walked.get());
  fields.Attach(read.get());
  sites.length = reader.length();
  size_t nextCompaction = size_t{1} << 20;
  const std::vector<Entry> entries = FindHeaderSites(fields, names, sites);

  q9::GeometryVisitor visitor;
  auto text = [&](uint64_t textAt) {
    return [&, textAt](int64_t at, std::u16string value) {
      FindTextSites(value, static_cast<uint64_t>(at) + textAt, 2, names, sites);
      CompactWhenLarge(sites, names, nextCompaction);
    };
  };
  visitor.material = text(format::kMaterialTextAt);
  visitor.light = text(format::kStringLengthBytes);
  visitor.views = text(format::kStringLengthBytes);
  // A tag is learned as a name too: the host may tag a solid with a name it gives elsewhere.
  visitor.beginSolid = [&](const q9::SolidItem& solid) {
    fields.Seek(solid.at + static_cast<int64_t>(format::kSolidNameAt));
    FindStringSite(fields, NameKind::Solid, names, sites);
    fields.Skip(format::kSolidTagBehindName);
    FindStringSite(fields, NameKind::Solid, names, sites);
    CompactWhenLarge(sites, names, nextCompaction);
  };
  visitor.mesh = [&](const q9::MeshItem& mesh) {
    // Meshes are named after their material.
    fields.Seek(mesh.at + static_cast<int64_t>(format::kMeshNameAt));
    FindStringSite(fields, NameKind::Material, names, sites);
    FindStringSite(fields, NameKind::Material, names, sites);
    CompactWhenLarge(sites, names, nextCompaction);
  };
  for (const Entry& entry : entries) {
    if (entry.type != format::kGeometrySectionType || reader.spent()) continue;
    q9::WalkGeometrySection(reader, entry.offset, visitor);
  }
  sites.Settle(names);
  return true;
}

void FindRecordFileSites(std::string_view bytes, NameTable& names, Sites& sites) {
  sites.utf16 = false;
  sites.length = static_cast<int64_t>(bytes.size());
  FindTextSites(q9::Utf16FromBytes(bytes), 0, 1, names, sites);
  sites.Settle(names);
}

}  // namespace q9x::bundle
