#include "scene/container_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "base/platform.h"
#include "base/request_tally.h"
#include "scene/container_format.h"

namespace q9 {

namespace {

static_assert(std::endian::native == std::endian::little,
              "container texts and mesh arrays are used in place as the file stores them");

constexpr size_t kWindowBytes = 64 * 1024;
// Reads at least this large bypass the window.
constexpr size_t kDirectReadBytes = 16 * 1024;
// What one read call costs beyond its bytes, so that many tiny reads also spend the budget.
constexpr uint64_t kCallCost = 4;
constexpr uint64_t kBudgetPerFileByte = 32;
constexpr uint64_t kBudgetConstant = 1u << 20;

}  // namespace

void ContainerReader::Attach(std::FILE* file) {
  file_ = file;
  memory_ = nullptr;
  Start(file ? std::max<int64_t>(platform::FileLength(file), 0) : 0);
}

void ContainerReader::Attach(const uint8_t* data, size_t size) {
  // A pointer that is never null, also for no bytes, marks the reader as attached.
  static const uint8_t kNothing = 0;
  file_ = nullptr;
  memory_ = data != nullptr ? data : &kNothing;
  Start(data != nullptr ? static_cast<int64_t>(std::min<uint64_t>(size, std::numeric_limits<int64_t>::max())) : 0);
}

void ContainerReader::Start(int64_t fileLength) {
  length_ = fileLength;
  position_ = 0;
  windowStart_ = 0;
  windowSize_ = 0;
  spent_ = false;
  const uint64_t length = static_cast<uint64_t>(length_);
  budget_ = length > (std::numeric_limits<uint64_t>::max() - kBudgetConstant) / kBudgetPerFileByte
                ? std::numeric_limits<uint64_t>::max()
                : length * kBudgetPerFileByte + kBudgetConstant;
}

void ContainerReader::Detach() {
  file_ = nullptr;
  memory_ = nullptr;
  length_ = 0;
  position_ = 0;
  windowSize_ = 0;
}

void ContainerReader::Report(ReadDamage::Kind kind, int64_t position, uint64_t asked,
                             uint64_t kept) {
  if (onDamage) onDamage(ReadDamage{kind, position, context, asked, kept});
}

void ContainerReader::Charge(uint64_t bytes) {
  const uint64_t cost = bytes + kCallCost;
  if (cost < budget_) {
    budget_ -= cost;
    return;
  }
  budget_ = 0;
  if (!spent_) {
    spent_ = true;
    Report(ReadDamage::Kind::BudgetSpent, position_, 0, 0);
  }
}

void ContainerReader::Seek(int64_t offset) {
  if (offset < 0 || offset > length_) {
    Report(ReadDamage::Kind::OffsetOutside, offset, 0, static_cast<uint64_t>(length_));
    position_ = length_;
    return;
  }
  position_ = offset;
}

void ContainerReader::Skip(uint64_t bytes) {
  position_ += static_cast<int64_t>(std::min(bytes, remaining()));
}

size_t ContainerReader::Fetch(int64_t position, void* out, size_t bytes) {
  if (memory_) {
    // `position` and `bytes` lie inside [0, length_], as Read cut them.
    std::memcpy(out, memory_ + position, bytes);
    return bytes;
  }
  if (bytes >= kDirectReadBytes) {
    ScopedFileTime timed;
    if (!platform::SeekFile(file_, position)) return 0;
    return std::fread(out, 1, bytes, file_);
  }
  const bool inWindow = position >= windowStart_ &&
                        static_cast<uint64_t>(position - windowStart_) + bytes <= windowSize_;
  if (!inWindow) {
    if (window_.size() != kWindowBytes) window_.resize(kWindowBytes);
    windowStart_ = position;
    windowSize_ = 0;
    ScopedFileTime timed;
    if (!platform::SeekFile(file_, position)) return 0;
    windowSize_ = std::fread(window_.data(), 1, kWindowBytes, file_);
  }
  const size_t offset = static_cast<size_t>(position - windowStart_);
  const size_t got = std::min(bytes, windowSize_ - std::min(offset, windowSize_));
  std::memcpy(out, window_.data() + offset, got);
  return got;
}

void ContainerReader::Read(void* out, size_t bytes) {
  if (bytes == 0) return;
  Charge(bytes);
  size_t take = 0;
  if (!spent_ && attached()) {
    take = static_cast<size_t>(std::min<uint64_t>(bytes, remaining()));
    if (take < bytes) Report(ReadDamage::Kind::PastEnd, position_, bytes, take);
  }
  // What the file does not give (beyond its end, or no longer there when it shrank since it was
  // measured) is zero; only that part is cleared, so a large array is touched once.
  const size_t got = take > 0 ? Fetch(position_, out, take) : 0;
  if (got < bytes) std::memset(static_cast<uint8_t*>(out) + got, 0, bytes - got);
  position_ += static_cast<int64_t>(take);
}

int32_t ContainerReader::ReadInt32() { return static_cast<int32_t>(ReadUint32()); }

uint32_t ContainerReader::ReadUint32() {
  // Four bytes that memory or the window holds, while the budget lasts, are taken where they
  // lie: every field of every item comes through here, and a damaged table sends the same few
  // fields through it thousands of times an operation. Anything else (the end of the file, the
  // budget's end, a window to fill) takes Read's way, which charges and reports the same.
  constexpr size_t kBytes = 4;
  if (!spent_ && kBytes + kCallCost < budget_ && remaining() >= kBytes) {
    const uint8_t* held = nullptr;
    if (memory_) {
      held = memory_ + position_;
    } else if (position_ >= windowStart_ &&
               static_cast<uint64_t>(position_ - windowStart_) + kBytes <= windowSize_) {
      held = window_.data() + (position_ - windowStart_);
    }
    if (held) {
      budget_ -= kBytes + kCallCost;
      position_ += static_cast<int64_t>(kBytes);
      return container::LoadUint32(held);
    }
  }
  uint8_t bytes[kBytes];
  Read(bytes, sizeof bytes);
  return container::LoadUint32(bytes);
}

uint8_t ContainerReader::ReadUint8() {
  uint8_t byte;
  Read(&byte, 1);
  return byte;
}

uint64_t ContainerReader::CutCount(uint64_t count, uint64_t itemSize) {
  // Division, not multiplication: a count near 2^32 times the item size never wraps.
  const uint64_t held = itemSize == 0 ? count : remaining() / itemSize;
  if (count <= held) return count;
  Report(ReadDamage::Kind::CountCut, position_, count, held);
  return held;
}

std::u16string ContainerReader::ReadString() {
  std::u16string text;
  ReadString(text);
  return text;
}

void ContainerReader::ReadString(std::u16string& text) {
  const uint64_t units = CutCount(ReadUint32(), 2);
  // The read fills every unit, so a string of the right length is read over as it is; one of
  // another length is cleared first, so that growing it copies nothing of what it held.
  if (text.size() != units) {
    text.clear();
    text.resize(static_cast<size_t>(units));
  }
  Read(text.data(), text.size() * 2);
}

void ContainerReader::SkipString() {
  const uint64_t units = CutCount(ReadUint32(), 2);
  Charge(0);
  Skip(units * 2);
}

uint32_t ContainerReader::ReadIdList(std::vector<uint32_t>& list) {
  const uint64_t count = CutCount(ReadUint32(), 4);
  list.assign(static_cast<size_t>(count), 0);
  Read(list.data(), list.size() * 4);
  return static_cast<uint32_t>(count);
}

OffsetTable::OffsetTable(ContainerReader& reader) {
  count_ = reader.CutCount(reader.ReadUint32(), 4);
  entries_ = reader.position();
}

int32_t OffsetTable::Entry(ContainerReader& reader, uint64_t index) {
  if (index < blockStart_ || index >= blockStart_ + blockSize_) {
    blockStart_ = index;
    blockSize_ = std::min(kBlock, count_ - std::min(index, count_));
    reader.Seek(entries_ + static_cast<int64_t>(index) * 4);
    reader.Read(block_, static_cast<size_t>(blockSize_) * 4);
  }
  const uint8_t* bytes = block_ + (index - blockStart_) * 4;
  return container::LoadInt32(bytes);
}

}  // namespace q9
