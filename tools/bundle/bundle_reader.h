// A support bundle from a customer, unpacked on the support desk. The bundle is untrusted: its
// ZIP directory is checked whole (zip_reader.h), then its manifest, and only then is a byte
// written. Only the members a bundle holds (bundle_layout.h) that its manifest lists are taken,
// each with the size the manifest gives; each is checked against the manifest's SHA-256 as it
// is written. A refusal or a damaged member leaves nothing of the bundle behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/zip_reader.h"

namespace q9x::bundle {

// The most bytes the manifest may have: some 400 000 members' lines, more than a recording's
// size limit holds steps for; parsed, it takes a few times as much memory.
constexpr uint64_t kMostManifestBytes = uint64_t{64} << 20;

struct PlannedMember {
  const zip::Entry* entry = nullptr;
  std::string sha256;  // the manifest's, lowercase hex; empty when it gives none
};

struct UnpackPlan {
  int format = 0;
  std::vector<PlannedMember> members;  // in the archive's order, the manifest first
  std::vector<std::string> passedOver; // names that are no bundle's, or not in its manifest
  std::vector<std::string> missing;    // the manifest's members that the archive lacks
  uint64_t bytes = 0;                  // what the members hold, unpacked
};

// What would be unpacked of the archive `reader` opened, checked before anything is written:
// manifest.json there, within its bound, a bundle's manifest of a format this version reads
// (a later one is refused with both formats named), each member's size the manifest's, the
// whole within `maxBytes`. Failures are of kind Unsafe.
Outcome<UnpackPlan> PlanUnpack(zip::Reader& reader, uint64_t maxBytes);

struct Unpacked {
  int format = 0;
  std::vector<std::string> written;     // the members' names, as the plan's
  std::vector<std::string> passedOver;  // as the plan's
  std::vector<std::string> missing;
  uint64_t bytes = 0;
};

// Unpacks the bundle at `archive` into `folder`, which must not exist yet. Failures: kind File
// (the archive cannot be opened, a file cannot be written), Unsafe (refused, or a member that is
// damaged or does not match its manifest's SHA-256); after either, `folder` is gone.
Outcome<Unpacked> UnpackBundle(const std::string& archive, const std::string& folder, uint64_t maxBytes);

}  // namespace q9x::bundle
