// A support bundle written: one ZIP file of the members that bundle_contents found, the
// doctor's report and a manifest, streamed (memory stays at a block and zlib's state, whatever
// the members hold), written as FILE.part and renamed when complete. A failure or a refusal
// leaves neither the part nor the bundle behind.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "bundle/anonymisation.h"
#include "bundle/bundle_contents.h"
#include "common/failure.h"

namespace q9x::bundle {

constexpr int kBundleFormat = 1;

struct BundleOptions {
  std::u16string output;    // the bundle's path
  uint64_t maxSize = 0;     // the most bytes the bundle may have; 0: no limit
  std::string doctorJson;   // the member doctor.json, as `q9x doctor --json` prints it
  std::string hostName;
  std::tm made{};           // when, UTC
  const Anonymisation* anonymisation = nullptr;  // --anonymise: learned from the same contents
};

struct Written {
  std::string name;
  uint64_t size = 0;
  std::string sha256;
};

struct BundleReport {
  std::vector<Written> members;  // in the bundle's order; manifest.json last
  std::vector<Absent> absent;    // the contents' and those that could not be read when written
  uint64_t size = 0;             // of the bundle
};

// Writes the bundle: the members in the contents' order, then doctor.json and manifest.json.
// manifest.json: {"format": 1, "made": "YYYY-MM-DDThh:mm:ssZ", "q9x": VERSION TEXT, "program":
// VERSION, "host", "exchangeFolder", "recording" (null without one), "anonymised", "members":
// [{"name", "size", "sha256"}...] (every other member, as bundled), "absent": [{"name",
// "reason"}...]}. With an anonymisation, every member is filtered on its way in, the manifest's
// host and paths too, and the written bundle is read back and searched for every name
// (leak_search.h).
// Failures: kind File (a file that cannot be written, a member that cannot be read through), or
// Refused: the bundle grew beyond maxSize (the reason names its largest members), or a name
// was found in it.
Outcome<BundleReport> WriteBundle(const Contents& contents, const BundleOptions& options);

// "YYYYMMDD-hhmmss" and "YYYY-MM-DDThh:mm:ssZ" of a UTC time.
std::string CompactTime(const std::tm& time);
std::string IsoTime(const std::tm& time);

}  // namespace q9x::bundle
