// What --anonymise replaces in one bundle: the names of all its members, learned before any
// byte is written, with the places where they stand, and the filters that replace them on the
// way into the bundle. The map from tokens back to names is written beside the bundle, never
// into it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bundle/bundle_contents.h"
#include "bundle/member_filter.h"
#include "bundle/name_sites.h"
#include "bundle/name_table.h"
#include "common/failure.h"

namespace q9x::bundle {

class Anonymisation {
 public:
  // Learns the names of `contents`' containers and record files (through the system's
  // readers), the user's name (`user`, and the part behind "Users" or "home" in the exchange
  // folder's path) and the host's, and gives each its token. A member that cannot be read now
  // is learned from nothing; writing it fails later.
  void Learn(const Contents& contents, const std::string& user, const std::string& host);

  const NameTable& names() const { return names_; }
  // The filter for the member `index` of `contents`, whose file now holds `length` bytes; none
  // when a container or record file has another length than when its names were found (the
  // host rewrote it meanwhile): its places would no longer be its names'.
  std::unique_ptr<MemberFilter> FilterFor(const Contents& contents, size_t index,
                                          int64_t length) const;
  // The token of a name learned (UTF-8), e.g. the host's; the text scrubbed when it is none.
  std::string TokenOf(const std::string& name) const;
  // A text of the bundle's own (doctor.json, the manifest's paths), scrubbed line by line.
  std::string Scrubbed(std::string_view text) const;

  // The map from tokens to names: {"format": 1, "bundle": NAME, "names": [{"token", "name",
  // "kind"}...]}, written to `path` (as PATH.part, renamed when complete).
  Outcome<Done> WriteNames(const std::u16string& path, const std::string& bundleName) const;

 private:
  NameTable names_;
  std::vector<Sites> sites_;  // by member; empty for texts
};

}  // namespace q9x::bundle
