// What --anonymise does to a member's bytes on their way into the bundle: the same number of
// bytes out as in, with names replaced by their tokens, whatever pieces the bytes come in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "bundle/name_sites.h"
#include "bundle/name_table.h"

namespace q9x::bundle {

class MemberFilter {
 public:
  virtual ~MemberFilter() = default;
  // Appends to `out` what is ready of `in` and the bytes before it.
  virtual void Feed(std::string_view in, std::string& out) = 0;
  // Appends the rest.
  virtual void Finish(std::string& out) = 0;
};

// Tokens written over the places of a container or record file (name_sites.h); the bytes
// between them pass unchanged.
class SiteFilter : public MemberFilter {
 public:
  // `sites` settled; both outlive the filter.
  SiteFilter(const NameTable& names, const Sites& sites) : names_(names), sites_(sites) {}
  void Feed(std::string_view in, std::string& out) override;
  void Finish(std::string&) override {}

 private:
  const NameTable& names_;
  const Sites& sites_;
  size_t next_ = 0;  // the first site that does not end before the position
  uint64_t position_ = 0;
};

// A text scrubbed line by line (NameTable::ScrubText). Of a line that grows beyond
// kLongestLine without its end, what has come is scrubbed as a piece of its own, so memory stays
// near that length.
class TextFilter : public MemberFilter {
 public:
  static constexpr size_t kLongestLine = size_t{1} << 20;
  explicit TextFilter(const NameTable& names) : names_(names) {}
  void Feed(std::string_view in, std::string& out) override;
  void Finish(std::string& out) override;

 private:
  void Flush(size_t bytes, std::string& out);
  const NameTable& names_;
  std::string pending_;
};

}  // namespace q9x::bundle
