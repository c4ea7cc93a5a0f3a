// The search of a written bundle for the names --anonymise replaced: a member's bytes, in
// pieces, searched as a container (the names' UTF-16LE forms as whole words: no letter, digit,
// "_" or unit beyond ASCII on either side, so that a name that is also part of a record key is
// not taken for one) or as a text (line by line, where NameTable::FindInText finds them).
// Pieces may split a name or a line anywhere.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "bundle/name_table.h"

namespace q9x::bundle {

class LeakSearch {
 public:
  LeakSearch(const NameTable& names, bool container);
  void Feed(std::string_view bytes);
  // The index of the first name found in all the bytes fed, or -1.
  int64_t Finish();

 private:
  void SearchUtf16(bool last);
  void SearchLines(bool last);

  const NameTable& names_;
  bool container_;
  int64_t found_ = -1;
  std::string pending_;  // a container: the bytes a pattern may begin in; a text: the open line
  // A container's patterns, by their first four bytes, behind a filter on their first two.
  std::vector<NameTable::Pattern> patterns_;
  std::unordered_map<uint32_t, std::vector<uint32_t>> byStart_;
  std::vector<bool> firstTwo_ = std::vector<bool>(1 << 16);
  size_t longest_ = 0;
  size_t next_ = 0;  // a container: the first position in pending_ not searched yet
};

}  // namespace q9x::bundle
