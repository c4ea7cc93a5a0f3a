// The reference link library's raw archive as q9x reads it, under libFuzzer: the input is the
// archive's text. A scene read from it must go through the archive again unchanged
// (fuzz_received.h): written, read back and written again, the same text.
#include <cstdint>
#include <optional>

#include "fuzz_received.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::optional<q9x::ReceivedScene> scene =
      q9::fuzz::ReadArchiveText(reinterpret_cast<const char*>(data), size);
  if (!scene) return 0;
  volatile int64_t triangles = scene->Triangles();
  (void)triangles;
  q9::fuzz::CheckArchiveRoundTrip(*scene);
  return 0;
}
