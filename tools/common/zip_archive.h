// ZIP archives: the format's records in one place (for the writer here and a reader beside it),
// and a writer that streams members into a sink, deflated by zlib.
//
// What the writer makes, for every ZIP reader in common use:
//   local header   30 bytes, the name (UTF-8; flag bit 11 when it is not ASCII), and a Zip64
//                  extra field (uncompressed and compressed size) only when the member may reach
//                  4 GiB; its CRC-32 and sizes are written once the member is complete, into the
//                  header itself (no data descriptor), so the sink must take patches
//   data           deflated (method 8), or stored (method 0) for an empty member
//   central directory  one 46-byte record per member with a Zip64 extra field holding, in this
//                  order, the uncompressed size, compressed size and header offset that do not
//                  fit 32 bits, and both sizes whenever the local header holds them there
//   end records    the Zip64 end record and its locator when the member count, the directory's
//                  size or its offset does not fit the classic end record; then the classic one
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace q9x::zip {

// --- The format's records. All values little-endian. ---
constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;

constexpr size_t kLocalHeaderBytes = 30;
constexpr size_t kLocalCrcAt = 14;  // CRC-32, compressed size, uncompressed size follow
constexpr size_t kCentralHeaderBytes = 46;
constexpr size_t kEndBytes = 22;
constexpr size_t kZip64EndBytes = 56;
constexpr size_t kZip64LocatorBytes = 20;

constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr size_t kExtraHeaderBytes = 4;  // id, size of what follows
constexpr uint16_t kUtf8NameFlag = 0x0800;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kVersionDeflate = 20;
constexpr uint16_t kVersionZip64 = 45;

// A 32-bit field holding this value, or a 16-bit one holding 0xFFFF, says that the value stands
// in the Zip64 extra field or end record instead.
constexpr uint32_t kMarker32 = 0xFFFFFFFF;
constexpr uint16_t kMarker16 = 0xFFFF;
// True when `value` cannot stand in a 32-bit field of its own.
constexpr bool NeedsZip64(uint64_t value) { return value >= kMarker32; }
// The most bytes a member may take in its local header without a Zip64 extra field: deflate can
// add a little to data that does not compress, so the bound lies well below 4 GiB.
constexpr uint64_t kLocalZip64From = 0xF0000000;

// One member as written: where it lies and what it holds.
struct Member {
  std::string name;  // UTF-8
  uint16_t method = kDeflated;
  uint32_t crc32 = 0;
  uint64_t size = 0;            // uncompressed
  uint64_t compressedSize = 0;
  uint64_t headerOffset = 0;    // of its local header
  uint64_t dataOffset = 0;      // of its first data byte
  bool localZip64 = false;      // its local header has the Zip64 extra field
};

// The time stamp every member carries, in MS-DOS form (local time as the archive's maker
// chooses; here UTC).
struct DosTime {
  uint16_t time = 0;
  uint16_t date = 0x21;  // 1980-01-01
};
DosTime DosTimeOf(int year, int month, int day, int hour, int minute, int second);

// The records, as bytes. `forceZip64` puts every size and offset in the Zip64 fields (tests).
std::string LocalHeader(const Member& member, const DosTime& time);
std::string CentralHeader(const Member& member, const DosTime& time, bool forceZip64 = false);
std::string EndRecords(uint64_t members, uint64_t directoryOffset, uint64_t directorySize,
                       bool forceZip64 = false);

// --- Writing. ---

// Where an archive goes: bytes in order, and patches of bytes already written.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual bool Write(std::string_view bytes) = 0;
  virtual bool Patch(uint64_t offset, std::string_view bytes) = 0;
};

// A file opened for writing (and seeking) by the caller, who keeps it open while the sink is
// used and finishes it.
class FileSink : public Sink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}
  bool Write(std::string_view bytes) override;
  bool Patch(uint64_t offset, std::string_view bytes) override;
  // The operating system's reason for the first failure, or empty.
  const std::string& error() const { return error_; }

 private:
  std::FILE* file_;
  uint64_t end_ = 0;
  std::string error_;
};

// Bytes in memory (tests).
class StringSink : public Sink {
 public:
  bool Write(std::string_view bytes) override;
  bool Patch(uint64_t offset, std::string_view bytes) override;
  std::string bytes;
};

struct WriterOptions {
  DosTime time;
  bool forceZip64 = false;  // every member's sizes and offset through Zip64 records (tests)
  // zlib's compression level. 3: on a large model's arrays about three times as fast as the
  // default 6 for a file some 15% larger.
  int level = 3;
};

// Streams members into a sink, one at a time: Begin, Add any number of times, End; Finish
// writes the central directory. Memory stays at zlib's state and one output block whatever
// the members hold. After any false, the archive is unusable and error() says why; nothing
// more is written.
class Writer {
 public:
  explicit Writer(Sink& sink, WriterOptions options = {});
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Starts the member `name` (UTF-8, "/" between folders), which will hold at most `sizeBound`
  // bytes: a bound from 4 GiB less a margin up gives its local header the Zip64 field.
  bool Begin(std::string name, uint64_t sizeBound);
  bool Add(std::string_view bytes);
  // Completes the member: its header gets the CRC-32 and sizes.
  bool End();
  // The central directory and end records.
  bool Finish();

  // Bytes written so far.
  uint64_t size() const { return written_; }
  // The members ended so far, in order.
  const std::vector<Member>& members() const { return members_; }
  const std::string& error() const { return error_; }

 private:
  bool Emit(std::string_view bytes);
  bool Deflate(std::string_view bytes, bool finish);
  bool Fail(std::string reason);

  struct Zlib;
  Sink& sink_;
  WriterOptions options_;
  std::unique_ptr<Zlib> zlib_;
  std::vector<Member> members_;
  Member current_;
  bool open_ = false;
  bool failed_ = false;
  uint64_t written_ = 0;
  std::string error_;
};

// The bytes of a member that a Writer wrote into `file` (its `members()` entry), inflated and
// handed to `take` in blocks; CRC-32 and size checked against the entry. False, with the reason
// in `error`, when the data cannot be read, does not inflate, or does not match. The entry is
// trusted: this reads back an archive this process wrote, not one from outside.
bool ReadWrittenMember(std::FILE* file, const Member& member,
                       const std::function<void(std::string_view)>& take, std::string& error);

}  // namespace q9x::zip
