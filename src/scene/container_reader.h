// Bounded reading of a container file that may be damaged: every count, length and offset the
// file gives is checked against the file's length before it is used.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace q9 {

// Something a read found wrong with the file. The product carries on (the reader yields zeros or
// a shorter item); tools report it.
struct ReadDamage {
  enum class Kind {
    OffsetOutside,  // a seek to an offset before the start or beyond the end of the file
    PastEnd,        // a read of `asked` bytes of which the file held only `kept`
    CountCut,       // a count or length of `asked` items of which the file held only `kept`
    BudgetSpent,    // the work allowed for one operation is used up; the rest reads as zeros
  };
  Kind kind;
  int64_t position;          // the offset asked for, or where the read or count starts
  std::string_view context;  // what was being read, e.g. "mesh array"
  uint64_t asked = 0;
  uint64_t kept = 0;
};

// A read cursor over an open file, or over bytes in memory, with an absolute position. Past the end of the file, and at an
// offset outside it, every read yields zeros; a count of items is cut to the items the file
// holds, so nothing is ever allocated beyond the file's length. Reads are served from a 64 KiB
// window of the file; a large read goes straight into the caller's buffer in one read call.
//
// Each operation may read about 32 times the file's length (plus 1 MiB): far more than an intact
// file needs, since each of its bytes is read about once, yet a bound that keeps a file whose
// tables point at the same items again and again from running for hours. Once it is spent every
// read yields zeros and `spent()` tells the loops to stop.
class ContainerReader {
 public:
  // Starts reading `file`: measures its length, position 0, a fresh work budget.
  void Attach(std::FILE* file);
  // Starts reading `size` bytes at `data` (kept by the caller while attached) as if they were a
  // file of that length: the same bounds, zeros and budget, without a file.
  void Attach(const uint8_t* data, size_t size);
  // Forgets the file or the bytes (a file is closed by its owner).
  void Detach();
  bool attached() const { return file_ != nullptr || memory_ != nullptr; }

  int64_t length() const { return length_; }
  // Always within [0, length()].
  int64_t position() const { return position_; }
  // The bytes from the position to the end of the file.
  uint64_t remaining() const { return static_cast<uint64_t>(length_ - position_); }
  bool spent() const { return spent_; }

  // Absolute seek. An offset before the start or beyond the end of the file moves the position
  // to the end, so that what is read there is zeros.
  void Seek(int64_t offset);
  // Moves forward by `bytes`, at most to the end of the file.
  void Skip(uint64_t bytes);

  // Reads `bytes` bytes into `out`; what the file does not hold is zero.
  void Read(void* out, size_t bytes);
  int32_t ReadInt32();
  uint32_t ReadUint32();
  uint8_t ReadUint8();

  // A count of items of `itemSize` bytes that follow at the position, cut to what the file holds.
  uint64_t CutCount(uint64_t count, uint64_t itemSize);

  // A length-prefixed UTF-16 string (uint32 unit count, then the units), cut to the file.
  std::u16string ReadString();
  // The same into `text`, replacing what it held: storage it already has serves again.
  void ReadString(std::u16string& text);
  void SkipString();
  // An id list (uint32 count, then uint32 ids) into `list`, replacing it, cut to the file.
  // Returns the number of ids kept.
  uint32_t ReadIdList(std::vector<uint32_t>& list);

  // Told about every damage found; empty in the product.
  std::function<void(const ReadDamage&)> onDamage;
  // Named in the damage reports: what the caller is reading.
  std::string_view context = "file";

 private:
  // Length `fileLength`, position 0, a fresh work budget.
  void Start(int64_t fileLength);
  void Report(ReadDamage::Kind kind, int64_t position, uint64_t asked, uint64_t kept);
  // Counts `bytes` plus a small cost per call against the budget.
  void Charge(uint64_t bytes);
  // Copies up to `bytes` bytes at `position` (inside the file) into `out`; returns how many the
  // file gave (fewer when it has shrunk since it was measured).
  size_t Fetch(int64_t position, void* out, size_t bytes);

  std::FILE* file_ = nullptr;
  const uint8_t* memory_ = nullptr;  // the bytes read instead of a file
  int64_t length_ = 0;
  int64_t position_ = 0;
  uint64_t budget_ = 0;
  bool spent_ = false;
  std::vector<uint8_t> window_;
  int64_t windowStart_ = 0;
  size_t windowSize_ = 0;
};

// A table of int32 offsets in the file (the item tables of sections, the change list's values):
// a count cut to what the file holds, then the entries, fetched in blocks of 512 as they are
// visited, so that walking a table and the items it points at does not make the reader jump
// between them for every entry, and a table costs no more memory than one block.
class OffsetTable {
 public:
  // Reads the uint32 count at the reader's position; the entries follow it.
  explicit OffsetTable(ContainerReader& reader);

  uint64_t count() const { return count_; }
  // Where the table ends: behind its last entry.
  int64_t end() const { return entries_ + static_cast<int64_t>(count_) * 4; }
  // Entry `index` (below count()); moves the reader.
  int32_t Entry(ContainerReader& reader, uint64_t index);

 private:
  static constexpr uint64_t kBlock = 512;
  uint64_t count_ = 0;
  int64_t entries_ = 0;
  uint64_t blockStart_ = 0;
  uint64_t blockSize_ = 0;
  uint8_t block_[kBlock * 4];  // only the entries read are used: left uninitialised
};

}  // namespace q9
