#include "scene/scene_container.h"

#include <algorithm>
#include <cstring>

#include "base/request_tally.h"
#include "scene/geometry_section.h"

namespace q9 {

namespace {

using container::kEntryNameUnits;
using container::kMaxNameUnits;
using container::kNameBlockBytes;
using container::kPreservedWordUnit;

constexpr auto Int32At = container::LoadInt32;
constexpr auto Uint16At = container::LoadUint16;
constexpr auto PutInt32 = container::StoreInt32;
constexpr auto PutUint16 = container::StoreUint16;

// The text of `maxUnits` UTF-16LE units at `bytes` up to the first zero unit.
std::u16string TextAt(const uint8_t* bytes, size_t maxUnits) {
  std::u16string text;
  for (size_t i = 0; i < maxUnits; ++i) {
    const char16_t unit = Uint16At(bytes + 2 * i);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

// The header and directory as `c` holds them, laid out as ReadHeader reads them: the name cut to
// 255 units, the rest of the name block zero but for the preserved word.
std::vector<uint8_t> HeaderBytes(const SceneContainer& c) {
  std::vector<uint8_t> header(kContainerHeaderSize, 0);
  const size_t units = std::min(c.name.size(), kMaxNameUnits);
  PutInt32(&header[container::kReserved0At], c.reserved0);
  PutInt32(&header[container::kHeaderSizeAt], c.headerSize);
  PutInt32(&header[container::kReserved8At], c.reserved8);
  PutInt32(&header[container::kNameLengthAt], c.nameLength);
  for (size_t i = 0; i < units; ++i) PutUint16(&header[container::kNameBlockAt + 2 * i], c.name[i]);
  PutUint16(&header[container::kPreservedWordAt], c.preservedWord);
  PutInt32(&header[container::kLastEntryIndexAt], c.lastEntryIndex);
  std::memcpy(&header[container::kDirectoryAt], c.entries.data(), sizeof c.entries);
  return header;
}

// Writes `header` into the empty file `c` has open, or logs why it could not; the caller closes
// the file.
void WriteFreshHeader(SceneContainer& c, const std::vector<uint8_t>& header,
                      const std::string& shownPath) {
  // A file opened read-only refuses the writes; the operation then ends the same way.
  // Bytes read from memory (fuzzing) are never written.
  if (!c.file) return;
  c.reader.Detach();
  const std::string_view bytes(reinterpret_cast<const char*>(header.data()), header.size());
  platform::FileError failure;
  bool written = platform::SeekFile(c.file.get(), 0, &failure) &&
                 platform::WriteToFile(c.file.get(), bytes, &failure);
  written = platform::FinishFile(std::move(c.file), written ? &failure : nullptr) && written;
  if (written) return;
  std::string message = "Error: a fresh header could not be written into " + shownPath + ": " +
                        (c.openedReadOnly ? std::string("the file is read-only") : failure.text);
  // The file was empty before: what it holds now is a cut header of this process's, which would
  // keep every later start from writing a whole one (a file shorter than a header is left
  // untouched). Removed, the next start writes it again.
  if (!c.openedReadOnly && platform::FileSize(c.path) > 0) {
    message += platform::RemovePath(c.path)
                   ? "; the part written was removed"
                   : "; the part written could not be removed, nothing is loaded from it";
  }
  c.process.log.WriteLine(message);
}

}  // namespace

std::u16string DirectoryEntry::name() const { return TextAt(bytes.data(), kEntryNameUnits); }
int32_t DirectoryEntry::type() const { return Int32At(bytes.data() + container::kEntryTypeAt); }
int32_t DirectoryEntry::offset() const {
  return Int32At(bytes.data() + container::kEntryOffsetAt);
}

void SceneContainer::open() {
  Close();
  openError = {};
  openedReadOnly = false;
  if (memory) {
    reader.Attach(memory->data(), memory->size());
    return;
  }
  std::replace(path.begin(), path.end(), u'/', u'\\');
  const auto attempt = [this](platform::FileError& error) {
    if (!platform::CanReadAndWrite(path)) {
      file = platform::OpenFile(path, "rb", &error);
      openedReadOnly = file != nullptr;
    }
    if (!file) file = platform::OpenFile(path, "rb+", &error);
    // Created only when nothing is there: a file that exists but cannot be opened (in use by
    // another process, no rights) is left alone rather than emptied.
    if (!file && !platform::PathExists(path)) file = platform::OpenFile(path, "wb+", &error);
    return file != nullptr;
  };
  Recording& recording = process.recording;
  const bool existed = !recording.recording() || platform::PathExists(path);
  {
    ScopedFileTime timed;
    // A file that another process holds without sharing it is waited for, briefly.
    process.fileInUseWait.Run(attempt, openError, &openWaited);
  }
  if (!file) return;
  // Kept before a byte is read: what the recording holds is what this request reads.
  const std::u16string_view fileName = std::u16string_view(path).substr(path.rfind(u'\\') + 1);
  if (existed) {
    recording.KeepOpenFile(fileName, file.get());
  } else {
    recording.NoteMissing(fileName);
  }
  reader.Attach(file.get());
}

bool SceneContainer::OpenForReading() {
  Close();
  if (memory) {
    reader.Attach(memory->data(), memory->size());
    return true;
  }
  file = platform::OpenFile(path, "rb");
  if (file) reader.Attach(file.get());
  return file != nullptr;
}

void SceneContainer::Close() {
  reader.Detach();
  file.reset();
}

void SceneContainer::ReadHeader() {
  reader.context = "header";
  reader.Seek(0);
  reserved0 = reader.ReadInt32();
  headerSize = reader.ReadInt32();
  reserved8 = reader.ReadInt32();
  nameLength = reader.ReadInt32();
  uint8_t nameBlock[kNameBlockBytes];
  reader.Read(nameBlock, sizeof nameBlock);
  preservedWord = Uint16At(nameBlock + 2 * kPreservedWordUnit);
  // At most 255 units: a name without its terminating zero never runs into the preserved word.
  name = TextAt(nameBlock, kMaxNameUnits);
  lastEntryIndex = reader.ReadInt32();
  reader.context = "directory";
  reader.Read(entries.data(), sizeof entries);
}

void SceneContainer::loadHeader() {
  open();
  const std::string shownPath = "container \"" + platform::DisplayPath(path) + "\"";
  if (!reader.attached()) {
    const std::string reason = openError.sharingViolation
                                   ? process.fileInUseWait.GaveUpText(openWaited, openError)
                                   : openError.text;
    process.log.WriteLine("Error: " + shownPath + " could not be opened: " + reason);
    return;
  }
  if (FileInUseWait::WorthNoting(openWaited)) {
    process.log.WriteLine("Note: " + shownPath + " was in use by another process; opened after " +
                          std::to_string(openWaited.count()) + " ms");
  }
  if (reader.length() >= kContainerHeaderSize) {
    ReadHeader();
    return;
  }
  if (reader.length() > 0) {
    // Bytes of the host's, damaged or still being written: they are never overwritten.
    process.log.WriteLine("Warning: " + shownPath + " holds " + std::to_string(reader.length()) +
                          " bytes, less than a header (" + std::to_string(kContainerHeaderSize) +
                          "): left untouched, nothing loaded");
    Close();
    return;
  }
  // A missing or empty file: a fresh header carrying the header held in memory.
  nameLength = static_cast<int32_t>(std::min(name.size(), kMaxNameUnits));
  headerSize = kContainerHeaderSize;
  WriteFreshHeader(*this, HeaderBytes(*this), shownPath);
  Close();
}

std::u16string SceneContainer::readString() { return reader.ReadString(); }

uint32_t SceneContainer::readIdList(std::vector<uint32_t>& list) {
  return reader.ReadIdList(list);
}

void SceneContainer::loadSection(int32_t index) {
  DamageWatch damage(*this);
  loadHeader();
  if (index < 0 || index >= kDirectoryEntries || index > lastEntryIndex ||
      !reader.attached()) {
    Close();
    return;
  }
  const DirectoryEntry& entry = entries[static_cast<size_t>(index)];
  if (entry.is(SectionType::Geometry)) {
    readGeometrySection(*this, entry.offset());
    currentSectionName = entry.name();
  }
  damage.Finish();
  Close();
}

std::string DescribeDamage(const ReadDamage& damage, int64_t fileLength) {
  using Kind = ReadDamage::Kind;
  const std::string at = std::to_string(damage.position);
  switch (damage.kind) {
    case Kind::OffsetOutside:
      return "offset " + at + " lies outside the file of " + std::to_string(fileLength) + " bytes";
    case Kind::PastEnd:
      return std::to_string(damage.asked) + " bytes asked at offset " + at + ", the file holds " +
             std::to_string(damage.kept);
    case Kind::CountCut:
      return "count " + std::to_string(damage.asked) + " at offset " + at + " cut to " +
             std::to_string(damage.kept) + ", all the file holds";
    case Kind::BudgetSpent:
      return "reading stopped at offset " + at +
             ": the tables point at the same items again and again";
  }
  return "damage at offset " + at;
}

DamageWatch::DamageWatch(SceneContainer& container)
    : container_(container), previous_(std::move(container.reader.onDamage)) {
  container_.reader.onDamage = [this](const ReadDamage& damage) {
    if (count_++ == 0) {
      first_ = "while reading " + std::string(damage.context) + ": " +
               DescribeDamage(damage, container_.reader.length());
    }
    if (previous_) previous_(damage);
  };
}

DamageWatch::~DamageWatch() {
  Finish();
  container_.reader.onDamage = std::move(previous_);
}

void DamageWatch::Finish() {
  if (finished_) return;
  finished_ = true;
  if (count_ == 0) return;
  container_.process.log.WriteLine("Warning: damaged container \"" +
                                   platform::DisplayPath(container_.path) + "\": first damage " +
                                   first_ + "; " + std::to_string(count_ - 1) + " more");
}

}  // namespace q9
