// The support bundle's reader under libFuzzer: the ZIP directory and local headers checked, every
// member inflated into memory, then the manifest read and the plan of what would be unpacked.
// Checked beyond the sanitizers: every member the reader lets through has a safe name and lies
// inside the input, no member hands over more bytes than its record says, and every member the
// plan would write is one a bundle holds.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "bundle/bundle_layout.h"
#include "bundle/bundle_reader.h"
#include "common/zip_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  q9x::zip::MemorySource source(input);
  q9x::zip::Reader reader;
  q9x::zip::ReadLimits limits;
  limits.memberBytes = uint64_t{4} << 20;
  limits.totalBytes = uint64_t{8} << 20;
  limits.members = 4096;
  if (!reader.Open(source, limits)) return 0;
  for (const q9x::zip::Entry& entry : reader.entries()) {
    if (!q9x::zip::UnsafeNameReason(entry.name).empty() || entry.dataOffset > size ||
        entry.compressedSize > size - entry.dataOffset) {
      std::abort();
    }
    uint64_t handed = 0;
    reader.Extract(entry, [&](std::string_view bytes) {
      handed += bytes.size();
      if (handed > entry.size) std::abort();
      return true;
    });
  }
  const q9x::Outcome<q9x::bundle::UnpackPlan> plan = q9x::bundle::PlanUnpack(reader, limits.totalBytes);
  if (!plan) return 0;
  for (const q9x::bundle::PlannedMember& member : plan->members) {
    if (!q9x::bundle::IsBundleMemberName(member.entry->name)) std::abort();
  }
  return 0;
}
