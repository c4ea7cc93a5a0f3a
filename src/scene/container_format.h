// The container file's layout in one place: the header, the name block, the directory and its
// entries, as byte offsets and sizes, and the little-endian loads and stores every reader and
// writer of the file uses.
//
//   0     int32   reserved0
//   4     int32   headerSize (208644 in a file the host wrote)
//   8     int32   reserved8
//   12    int32   nameLength
//   16    1024    name block: the name in UTF-16LE units (at most 255 read), and at unit 256
//                 (byte 528) a 16-bit word that is kept as it is
//   1040  int32   lastEntryIndex
//   1044  100 x 2076 directory; each entry: the project path (1028 UTF-16LE units), the section
//                 type at byte 2056, the section's absolute offset at byte 2060, 12 bytes more
//   208644        the sections, each where its entry's offset says
#pragma once

#include <cstddef>
#include <cstdint>

namespace q9::container {

// Header fields.
constexpr size_t kReserved0At = 0;
constexpr size_t kHeaderSizeAt = 4;
constexpr size_t kReserved8At = 8;
constexpr size_t kNameLengthAt = 12;
constexpr size_t kNameBlockAt = 16;
constexpr size_t kNameBlockBytes = 1024;
constexpr size_t kNameBlockUnits = kNameBlockBytes / 2;
constexpr size_t kMaxNameUnits = 255;  // read up to the first zero unit, at most this many
constexpr size_t kPreservedWordUnit = 256;
constexpr size_t kPreservedWordAt = kNameBlockAt + 2 * kPreservedWordUnit;  // 528
constexpr size_t kLastEntryIndexAt = kNameBlockAt + kNameBlockBytes;         // 1040

// The directory.
constexpr size_t kDirectoryAt = kLastEntryIndexAt + 4;  // 1044
constexpr int kDirectoryEntries = 100;
constexpr size_t kEntrySize = 2076;
constexpr size_t kEntryNameUnits = 1028;
constexpr size_t kEntryTypeAt = 2056;    // within an entry
constexpr size_t kEntryOffsetAt = 2060;  // within an entry
constexpr size_t kHeaderSize = kDirectoryAt + kDirectoryEntries * kEntrySize;  // 208644

static_assert(kEntryTypeAt >= 2 * kEntryNameUnits && kEntryOffsetAt + 4 <= kEntrySize);
static_assert(kHeaderSize == 208644);

// Little-endian values at `bytes`.
inline uint32_t LoadUint32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}
inline int32_t LoadInt32(const uint8_t* bytes) { return static_cast<int32_t>(LoadUint32(bytes)); }
inline uint16_t LoadUint16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

inline void StoreUint32(uint8_t* bytes, uint32_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
  bytes[2] = static_cast<uint8_t>(value >> 16);
  bytes[3] = static_cast<uint8_t>(value >> 24);
}
inline void StoreInt32(uint8_t* bytes, int32_t value) {
  StoreUint32(bytes, static_cast<uint32_t>(value));
}
inline void StoreUint16(uint8_t* bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace q9::container
