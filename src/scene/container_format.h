// The container file's layout in one place: the header, the name block, the directory and its
// entries, and the sections the entries point at (geometry section, change list, views block), as
// byte offsets and sizes; and the little-endian loads and stores every reader and writer of the
// file uses.
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
//
// Inside a section every offset counts from the section's first byte. Its items are built from
// int32 and uint8 fields, strings (uint32 unit count, then the UTF-16LE units) and tables (uint32
// count, then one int32 offset per item). Where an item holds a string, the fields behind it are
// given relative to the string's end.
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

// Section types, as a directory entry gives them; any other type is skipped.
constexpr int32_t kGeometrySectionType = 2;
constexpr int32_t kChangeListSectionType = 4;

// --- The pieces sections are built from. ---

// A length-prefixed string: uint32 n, then n UTF-16LE units.
constexpr uint64_t kStringLengthBytes = 4;
constexpr uint64_t StringBytes(uint64_t units) { return kStringLengthBytes + 2 * units; }
// An item table: uint32 n, then n int32 offsets from the section's first byte. In the solid table
// and a mesh list an offset of 0 stands for no item.
constexpr uint64_t kTableCountBytes = 4;
constexpr uint64_t kTableEntryBytes = 4;
constexpr uint64_t TableBytes(uint64_t entries) {
  return kTableCountBytes + kTableEntryBytes * entries;
}
// An id list: uint32 n, then n uint32 ids.
constexpr uint64_t IdListBytes(uint64_t ids) { return 4 + 4 * ids; }

// --- Geometry section (type 2). ---
//   header     five int32 below
//   materials  at kGeometryHeaderBytes: item table, then the material items
//   lights     at materialBlockEnd, or kGeometryHeaderBytes without materials: table, light items
//   solids     at materialBlockEnd + lightBlockSpan, or kGeometryHeaderBytes when that is 0
//   views      one string, where the reading of the blocks before it stopped
constexpr size_t kMaterialBlockEndAt = 0;  // 0: no material block
constexpr size_t kLightBlockSpanAt = 4;    // 0: no light block; its end, from materialBlockEnd
constexpr size_t kSolidBlockSizeAt = 8;    // 0: no solid block
constexpr size_t kViewBlockSizeAt = 12;    // 0: no view block
constexpr size_t kReserved16At = 16;
constexpr size_t kGeometryHeaderBytes = 20;

// Material item: int32 textBytes, two int32 not interpreted, then textBytes / 2 UTF-16LE units
// (the text ends early at a zero unit).
constexpr size_t kMaterialTextBytesAt = 0;
constexpr size_t kMaterialTextAt = 12;

// Light item: one string. View block: one string.

// Solid item. headerLength counts from its own first byte to the solid's mesh list; what lies
// between the tag string and that point is skipped.
constexpr size_t kSolidHeaderLengthAt = 4;
constexpr size_t kSolidFlagAt = 8;        // uint8
constexpr size_t kSolidTimeStampAt = 9;
constexpr size_t kSolidNameAt = 13;       // string, not interpreted
// Behind the name string:
constexpr size_t kSolidIdBehindName = 8;  // int32; two int32 not interpreted before it
constexpr size_t kSolidTagBehindName = 12;  // string, not interpreted
// The bytes headerLength counts with strings of `nameUnits` and `tagUnits` and nothing skipped.
constexpr uint64_t SolidHeaderLength(uint64_t nameUnits, uint64_t tagUnits) {
  return kSolidNameAt - kSolidHeaderLengthAt + StringBytes(nameUnits) + kSolidTagBehindName +
         StringBytes(tagUnits);
}

// Mesh item. headerLength counts from its own first byte to array 1.
constexpr size_t kMeshHeaderLengthAt = 4;
constexpr size_t kMeshNameAt = 16;  // string meshName; two int32 not interpreted before it
// Behind the name: the tag string, not interpreted.
constexpr uint64_t MeshHeaderLength(uint64_t nameUnits, uint64_t tagUnits) {
  return kMeshNameAt - kMeshHeaderLengthAt + StringBytes(nameUnits) + StringBytes(tagUnits);
}
// Eight arrays in a row, each uint32 k and k 32-bit values. By index from 0: array 1 holds nine
// values per triangle (the corner positions), array 5 the corner normals, array 2 six values per
// triangle (the corner texture coordinates); the others are not interpreted.
constexpr int kMeshArrays = 8;
constexpr int kPositionsArray = 0;
constexpr int kTextureCoordinatesArray = 1;
constexpr int kNormalsArray = 4;
constexpr uint64_t kValuesPerTriangle = 9;
constexpr uint64_t kTextureValuesPerTriangle = 6;
constexpr uint64_t ArrayBytes(uint64_t values) { return 4 + 4 * values; }

// --- Change list (type 4). ---
// uint32 n, then n int32 values in pairs: an item offset, then a value not interpreted. Item: the
// kind string ("Solid" or "Material"), then an id list.
constexpr uint64_t kChangeValuesPerItem = 2;

static_assert(kSolidTimeStampAt == kSolidFlagAt + 1 && kSolidNameAt == kSolidTimeStampAt + 4);
static_assert(kSolidTagBehindName == kSolidIdBehindName + 4);
static_assert(kMaterialTextAt == kMaterialTextBytesAt + 12);
static_assert(kReserved16At + 4 == kGeometryHeaderBytes);

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
