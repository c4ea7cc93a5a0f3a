// ZIP archives from outside, read with every bound checked before a byte of them is used: the
// directory is read and checked whole (names, sizes, where each member lies) before any member
// is inflated, and a member's bytes never run past what its records promise.
//
// What is refused, each with a reason that names the member:
//   - an archive without its end record, spread over several disks, or whose directory does not
//     lie inside it; more members than its directory can hold or than the limit allows
//   - a name that could write outside the folder it is unpacked into, or that Windows would
//     read as another file: empty, "..", ".", an empty part, an absolute path ("/", "\"), a
//     drive or stream (":"), a backslash, a control character, <>"|?*, a part that ends in a
//     dot or a space, a device name (CON, NUL, COM1, ...), beyond 1024 bytes, not UTF-8
//   - the same name twice, whatever its case (one file on Windows)
//   - a link (a Unix symbolic link's mode), an encrypted member, a method other than stored or
//     deflated
//   - a member whose local header does not match its directory record, that runs past the
//     directory or into the next member, a size beyond the limits (each, and all together), or
//     more than deflate can make of its compressed bytes
// On extraction: a member that inflates to more or fewer bytes than its record says, or whose
// CRC-32 differs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace q9x::zip {

// Where an archive's bytes come from.
class Source {
 public:
  virtual ~Source() = default;
  virtual uint64_t size() const = 0;
  // Reads `count` bytes at `offset`; false unless all of them were read.
  virtual bool ReadAt(uint64_t offset, char* into, size_t count) = 0;
};

// A file opened for reading by the caller, who keeps it open while the source is used.
class FileSource : public Source {
 public:
  explicit FileSource(std::FILE* file);
  uint64_t size() const override { return size_; }
  bool ReadAt(uint64_t offset, char* into, size_t count) override;

 private:
  std::FILE* file_;
  uint64_t size_ = 0;
  uint64_t at_ = UINT64_MAX;  // where the file's position is, when known
};

// Bytes in memory (fuzzing, tests).
class MemorySource : public Source {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  bool ReadAt(uint64_t offset, char* into, size_t count) override;

 private:
  std::string_view bytes_;
};

struct ReadLimits {
  uint64_t memberBytes = uint64_t{16} << 30;  // one member, inflated
  uint64_t totalBytes = uint64_t{64} << 30;   // every member, inflated
  uint64_t members = 1000000;
};

struct Entry {
  std::string name;  // UTF-8, "/" between folders; a folder's ends in "/"
  uint16_t method = 0;
  uint32_t crc32 = 0;
  uint64_t size = 0;            // inflated
  uint64_t compressedSize = 0;
  uint64_t headerOffset = 0;
  uint64_t dataOffset = 0;      // past its local header
  bool folder() const { return !name.empty() && name.back() == '/'; }
};

// Why `name` may not be unpacked as a file's path: empty when it may. A folder's name ends in
// "/"; the parts before it are checked alike.
std::string UnsafeNameReason(std::string_view name);

class Reader {
 public:
  // Reads and checks the directory and every local header of `source`, which must outlive the
  // reader. False, with error(), when the archive is refused.
  bool Open(Source& source, const ReadLimits& limits = {});
  // In the directory's order.
  const std::vector<Entry>& entries() const { return entries_; }
  // The entry named so, or null.
  const Entry* Find(std::string_view name) const;
  // Hands the member's bytes to `take` in blocks of at most 64 KiB (false from `take`: stop,
  // and false here with error() empty). False, with error(), when the member cannot be read,
  // does not inflate, inflates to another size than its record's, or its CRC-32 differs; what
  // was handed over before may then be anything, and is the caller's to drop.
  bool Extract(const Entry& entry, const std::function<bool(std::string_view)>& take);
  const std::string& error() const { return error_; }

 private:
  bool Fail(std::string reason);
  bool ReadDirectory(uint64_t at, uint64_t bytes, uint64_t count, const ReadLimits& limits);
  bool CheckPlaces(uint64_t directoryAt);

  Source* source_ = nullptr;
  std::vector<Entry> entries_;
  std::string error_;
};

}  // namespace q9x::zip
