// What the targets of q9x's readers share: the received scene written as a raw archive into
// memory and read back, which must give the same archive again; and the record of the texts a
// check has already passed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "received/raw_archive.h"
#include "received/received_scene.h"

namespace q9::fuzz {

// The texts that a check whose verdict follows from the text alone has passed in this process,
// so that the check runs once for each text. A mutated input mostly repeats its parent's lines
// and scenes: checked again, they could only pass again, and everything they reach was counted
// by the fuzzer when they were first seen. A check that fails stops the run, so a failing text is
// never recorded. Texts are known by a 64-bit hash in a table of fixed size (8 MiB however long
// the run): a text that shares a slot with a later one is only checked again, and two texts share
// a whole hash with odds of about 2^-64.
class PassedTexts {
 public:
  PassedTexts() : slots_(std::make_unique<uint64_t[]>(kSlots)) {}

  // Runs `check` unless `text` passed it before; `text` is then recorded as passed.
  template <typename Check>
  void CheckOnce(std::string_view text, const Check& check) {
    // The library's hash, not one compiled here: a loop over every byte in the fuzzed build
    // would report each comparison to the fuzzer. 0 marks a slot that holds no text.
    const uint64_t hash = std::hash<std::string_view>{}(text) | 1;
    uint64_t& slot = slots_[hash & (kSlots - 1)];
    if (slot == hash) return;
    check();
    slot = hash;
  }

 private:
  static constexpr size_t kSlots = size_t{1} << 20;
  std::unique_ptr<uint64_t[]> slots_;
};

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
// error. The scene is written every time; an archive text that came back whole before is not
// read back again (PassedTexts: reading depends on the text alone).
inline void CheckArchiveRoundTrip(const q9x::ReceivedScene& scene) {
  static PassedTexts passed;
  const std::string first = ArchiveText(scene);
  passed.CheckOnce(first, [&] {
    const std::optional<q9x::ReceivedScene> again = ReadArchiveText(first.data(), first.size());
    const std::string second = again ? ArchiveText(*again) : std::string("(not read back)");
    if (first != second) {
      std::fprintf(stderr, "archive written:\n%s\nread back and written again:\n%s\n",
                   first.c_str(), second.c_str());
      std::abort();
    }
  });
}

}  // namespace q9::fuzz
