// Where names stand in the files the system reads, found through the system's own readers: the
// container's header and directory (container name, the project's path in each entry), its
// geometry sections as WalkGeometrySection gives them (material, light and view texts, solid
// and mesh names and their tags), and in record texts the lines of the keys that hold names (materials'
// "InterfaceName" and "MaterialID_Name", maps' "ExtendMaterial_strFile", lights' "LightName",
// "LightSourceIDName" and "strIESF_FilePath", views' "Camera_Name"), each value as TextValue
// reads it. Each name is learned into a NameTable; each place is a Site.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bundle/name_table.h"

namespace q9x::bundle {

// A name's place in a file: its bytes start at `offset`, in UTF-16LE (containers) or one byte a
// unit (record files).
struct Site {
  uint64_t offset;
  uint32_t name;
  bool operator<(const Site& other) const { return offset < other.offset; }
  bool operator==(const Site& other) const = default;
};

// The places of one file, in offset order, none overlapping the one before it.
struct Sites {
  bool utf16 = true;
  int64_t length = -1;  // of the file they were found in
  std::vector<Site> sites;
  // Sorts, drops repeats and places that overlap the place before them.
  void Settle(const NameTable& names);
};

// The names in the container at `path` and their places. Any bytes are safe: what is read is
// bounded by the file, as the system's reader bounds it, and so are the places kept. False
// when the file cannot be opened.
bool FindContainerSites(const std::u16string& path, NameTable& names, Sites& sites);

// The names in a record file's bytes (one byte a unit, lines ending at LF, a CR before it
// ignored) and their places.
void FindRecordFileSites(std::string_view bytes, NameTable& names, Sites& sites);

// The parts of a path (split at "\" and "/"; a drive such as "C:" left out; of the last part
// the name before its extension) learned as path parts of `kind`; `at(index, unit)` is told
// where each lies in `path`.
template <typename At>
void LearnPathParts(std::u16string_view path, NameKind kind, NameTable& names, At at) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of(u"\\/", start);
    const bool last = end == std::u16string_view::npos;
    if (last) end = path.size();
    std::u16string_view part = path.substr(start, end - start);
    if (last) part = part.substr(0, std::min(part.size(), part.rfind(u'.')));
    if (!part.empty() && part.find(u':') == std::u16string_view::npos) {
      at(names.Learn(part, kind, true), start);
    }
    if (last) break;
    start = end + 1;
  }
}

}  // namespace q9x::bundle
