#include "scene/scene_container.h"

#include <algorithm>
#include <cstring>

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

}  // namespace

std::u16string DirectoryEntry::name() const { return TextAt(bytes.data(), kEntryNameUnits); }
int32_t DirectoryEntry::type() const { return Int32At(bytes.data() + container::kEntryTypeAt); }
int32_t DirectoryEntry::offset() const {
  return Int32At(bytes.data() + container::kEntryOffsetAt);
}

void SceneContainer::open() {
  close();
  if (memory) {
    reader.Attach(memory->data(), memory->size());
    return;
  }
  std::replace(path.begin(), path.end(), u'/', u'\\');
  if (!platform::CanReadAndWrite(path)) file = platform::OpenFile(path, "rb");
  if (!file) file = platform::OpenFile(path, "rb+");
  // Created only when nothing is there: a file that exists but cannot be opened (locked, no
  // rights) is left alone rather than emptied.
  if (!file && !platform::PathExists(path)) file = platform::OpenFile(path, "wb+");
  if (file) reader.Attach(file.get());
}

bool SceneContainer::openForReading() {
  close();
  if (memory) {
    reader.Attach(memory->data(), memory->size());
    return true;
  }
  file = platform::OpenFile(path, "rb");
  if (file) reader.Attach(file.get());
  return file != nullptr;
}

void SceneContainer::close() {
  reader.Detach();
  file.reset();
}

void SceneContainer::readHeader() {
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
  if (!reader.attached()) return;
  if (reader.length() >= kContainerHeaderSize) {
    readHeader();
    return;
  }
  // A missing or short file: a fresh header carrying the header held in memory.
  std::vector<uint8_t> header(kContainerHeaderSize, 0);
  const size_t units = std::min(name.size(), kMaxNameUnits);
  nameLength = static_cast<int32_t>(units);
  headerSize = kContainerHeaderSize;
  PutInt32(&header[0], reserved0);
  PutInt32(&header[4], headerSize);
  PutInt32(&header[8], reserved8);
  PutInt32(&header[12], nameLength);
  for (size_t i = 0; i < units; ++i) PutUint16(&header[16 + 2 * i], name[i]);
  PutUint16(&header[16 + 2 * kPreservedWordUnit], preservedWord);
  PutInt32(&header[16 + kNameBlockBytes], lastEntryIndex);
  std::memcpy(&header[20 + kNameBlockBytes], entries.data(), sizeof entries);
  // A file opened read-only refuses the writes; the operation then ends the same way.
  if (file && platform::SeekFile(file.get(), 0)) {
    std::fwrite(header.data(), 1, header.size(), file.get());
    std::fflush(file.get());
  }
  close();
}

std::u16string SceneContainer::readString() { return reader.ReadString(); }

uint32_t SceneContainer::readIdList(std::vector<uint32_t>& list) {
  return reader.ReadIdList(list);
}

void SceneContainer::loadSection(int32_t index) {
  loadHeader();
  if (index < 0 || index >= kDirectoryEntries || index > lastEntryIndex ||
      !reader.attached()) {
    close();
    return;
  }
  const DirectoryEntry& entry = entries[static_cast<size_t>(index)];
  if (entry.type() == SectionType::Geometry) {
    readGeometrySection(*this, entry.offset());
    currentSectionName = entry.name();
  }
  close();
}

}  // namespace q9
