// What the targets of q9x's readers share: the received scene written as a raw archive into
// memory and read back, which must give the same archive again.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "received/raw_archive.h"
#include "received/received_scene.h"

namespace q9::fuzz {

// The raw archive of `scene`, as the reference library writes it.
inline std::string ArchiveText(const q9x::ReceivedScene& scene) {
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* file = open_memstream(&buffer, &size);
  if (file == nullptr) std::abort();
  const bool written = q9x::WriteArchive(scene, file);
  std::fclose(file);
  std::string text(buffer, size);
  std::free(buffer);
  if (!written) std::abort();
  return text;
}

// The archive of `text` read back; nothing when it is not one.
inline std::optional<q9x::ReceivedScene> ReadArchiveText(const char* text, size_t size) {
  size_t at = 0;
  return q9x::ReadArchive([&](char* into, size_t room) {
    const size_t count = std::min(room, size - at);
    std::memcpy(into, text + at, count);
    at += count;
    return count;
  });
}

// Every scene the readers build is one the archive holds: written, read back and written again,
// it gives the same text. Stops the run (a fault) when it does not, with both texts on standard
// error.
inline void CheckArchiveRoundTrip(const q9x::ReceivedScene& scene) {
  const std::string first = ArchiveText(scene);
  const std::optional<q9x::ReceivedScene> again = ReadArchiveText(first.data(), first.size());
  const std::string second = again ? ArchiveText(*again) : std::string("(not read back)");
  if (first != second) {
    std::fprintf(stderr, "archive written:\n%s\nread back and written again:\n%s\n",
                 first.c_str(), second.c_str());
    std::abort();
  }
}

}  // namespace q9::fuzz
