#include "pack/container_write.h"

#include <algorithm>

#include "base/platform.h"
#include "base/text.h"

namespace q9x {

namespace {

namespace layout = q9::container;

std::string Number(uint64_t value) { return std::to_string(value); }

// Writes to a sink, cut at the planned length: bytes beyond it are never written.
class Output {
 public:
  Output(ContainerSink& sink, uint64_t length) : sink_(sink), length_(length) {}
  void Write(uint64_t at, const void* bytes, size_t size) {
    if (at >= length_) return;
    size = static_cast<size_t>(std::min<uint64_t>(size, length_ - at));
    if (!sink_.WriteAt(at, bytes, size)) throw SinkError("the container could not be written");
  }
  void Write32(uint64_t at, uint32_t value) {
    uint8_t bytes[4];
    layout::StoreUint32(bytes, value);
    Write(at, bytes, 4);
  }

 private:
  ContainerSink& sink_;
  uint64_t length_;
};

// A section's bytes, appended in order from its first byte and handed to the output in blocks.
class SectionOut {
 public:
  SectionOut(Output& out, uint64_t base) : out_(out), base_(base) {}
  // Offset of the next byte from the section's first byte.
  uint64_t offset() const { return written_ + buffer_.size(); }

  void U32(uint32_t value) {
    uint8_t bytes[4];
    layout::StoreUint32(bytes, value);
    Append(bytes, 4);
  }
  void U8(uint8_t value) { Append(&value, 1); }
  void Units(const std::u16string& text) {
    for (const char16_t unit : text) {
      uint8_t bytes[2];
      layout::StoreUint16(bytes, unit);
      Append(bytes, 2);
    }
  }
  void String(const std::u16string& text) {
    U32(static_cast<uint32_t>(text.size()));
    Units(text);
  }
  void Words(const std::vector<uint32_t>& words) {
    for (const uint32_t word : words) U32(word);
  }
  void Zeros(uint64_t count) {
    while (count > 0) {
      const size_t step = static_cast<size_t>(std::min<uint64_t>(count, kBlock));
      buffer_.append(step, '\0');
      count -= step;
      if (buffer_.size() >= kBlock) Flush();
    }
  }
  void Flush() {
    out_.Write(base_ + written_, buffer_.data(), buffer_.size());
    written_ += buffer_.size();
    buffer_.clear();
  }

 private:
  static constexpr size_t kBlock = 1 << 20;
  void Append(const void* bytes, size_t size) {
    buffer_.append(static_cast<const char*>(bytes), size);
    if (buffer_.size() >= kBlock) Flush();
  }

  Output& out_;
  uint64_t base_;
  uint64_t written_ = 0;
  std::string buffer_;
};

[[noreturn]] void Changed(const std::string& what) {
  throw PackError(what + " changed while the container was written");
}

void WriteMesh(SectionOut& out, const MeshValues& mesh) {
  out.U32(mesh.field0);
  out.U32(mesh.headerLength.value_or(static_cast<uint32_t>(
      layout::MeshHeaderLength(mesh.name.size(), mesh.tag.size()) + mesh.padding)));
  out.U32(mesh.field1);
  out.U32(mesh.field2);
  out.String(mesh.name);
  out.String(mesh.tag);
  out.Zeros(mesh.padding);
  for (int a = 0; a < layout::kMeshArrays; ++a) {
    out.U32(mesh.counts[a].value_or(static_cast<uint32_t>(mesh.arrays[a].size())));
    out.Words(mesh.arrays[a]);
  }
}

void WriteSolid(SectionOut& out, const SolidValues& solid) {
  out.U32(solid.field0);
  out.U32(solid.headerLength.value_or(static_cast<uint32_t>(
      layout::SolidHeaderLength(solid.name.size(), solid.tag.size()) + solid.padding)));
  out.U8(solid.flag);
  out.U32(solid.timeStamp);
  out.String(solid.name);
  out.U32(solid.field1);
  out.U32(solid.field2);
  out.U32(solid.id);
  out.String(solid.tag);
  out.Zeros(solid.padding);
  // The mesh list: its offsets follow from the meshes' sizes.
  out.U32(solid.meshCount.value_or(static_cast<uint32_t>(solid.meshes.size())));
  uint64_t at = out.offset() + layout::kTableEntryBytes * solid.meshes.size();
  for (const std::optional<MeshValues>& mesh : solid.meshes) {
    out.U32(mesh ? static_cast<uint32_t>(at) : 0);
    if (mesh) at += MeshItemBytes(*mesh);
  }
  for (const std::optional<MeshValues>& mesh : solid.meshes) {
    if (mesh) WriteMesh(out, *mesh);
  }
}

void WriteGeometry(SectionOut& out, GeometryContent& content, const ContainerPlan::Geometry& plan,
                   uint64_t limit) {
  for (const uint32_t value : plan.header) out.U32(value);
  if (content.materials) {
    out.U32(plan.materialCount);
    out.Words(plan.materials);
    for (size_t i = 0; i < content.materials->size(); ++i) {
      const MaterialItem& item = (*content.materials)[i];
      const std::u16string text = ItemTextOf(item.text, limit);
      if (text.size() != plan.materialUnits[i]) Changed(item.text.file);
      out.U32(item.textBytes.value_or(static_cast<uint32_t>(text.size() * 2)));
      out.U32(0);
      out.U32(0);
      out.Units(text);
    }
  }
  if (content.lights) {
    out.U32(plan.lightCount);
    out.Words(plan.lights);
    for (size_t i = 0; i < content.lights->size(); ++i) {
      const ItemText& item = (*content.lights)[i];
      const std::u16string text = ItemTextOf(item, limit);
      if (text.size() != plan.lightUnits[i]) Changed(item.file);
      out.String(text);
    }
  }
  if (content.solids) {
    SolidSource& source = *content.solids;
    out.U32(plan.solidCount);
    out.Words(plan.solids);
    SolidValues solid;
    // A solid of another size than planned shows where the next one starts.
    uint64_t previous = 0;
    for (uint64_t i = 0; i < plan.solids.size(); ++i) {
      const bool made = source.Solid(i, solid);
      if (made != (plan.solids[i] != 0)) Changed("solid " + Number(i));
      if (!made) continue;
      if (out.offset() != plan.solids[i]) Changed("solid " + Number(previous));
      WriteSolid(out, solid);
      previous = i;
    }
    if (out.offset() != plan.solidsEnd) Changed("solid " + Number(previous));
  }
  if (content.views) {
    const std::u16string text = ItemTextOf(*content.views, limit);
    if (text.size() != plan.viewUnits) Changed(content.views->file);
    out.String(text);
  }
}

void WriteChangeList(SectionOut& out, const ChangeListContent& content) {
  const uint64_t values = layout::kChangeValuesPerItem * content.items.size();
  out.U32(content.count.value_or(static_cast<uint32_t>(values)));
  // Each item's offset, then its size: the value the reader does not interpret.
  uint64_t at = layout::TableBytes(values);
  for (const ChangeItem& item : content.items) {
    const uint64_t bytes =
        layout::StringBytes(item.kind.size()) + layout::IdListBytes(item.ids.size());
    out.U32(static_cast<uint32_t>(at));
    out.U32(static_cast<uint32_t>(bytes));
    at += bytes;
  }
  for (const ChangeItem& item : content.items) {
    out.String(item.kind);
    out.U32(item.idCount.value_or(static_cast<uint32_t>(item.ids.size())));
    out.Words(item.ids);
  }
}

}  // namespace

void WriteContainer(ContainerPlan& plan, ContainerSink& sink,
                    const std::function<void(size_t, size_t)>& progress) {
  ContainerContent& content = plan.content;
  Output out(sink, plan.length);
  std::vector<uint8_t> header(layout::kHeaderSize, 0);
  layout::StoreUint32(&header[layout::kReserved0At], content.reserved0.value_or(0));
  layout::StoreUint32(&header[layout::kHeaderSizeAt],
                      content.headerSize.value_or(layout::kHeaderSize));
  layout::StoreUint32(&header[layout::kReserved8At], content.reserved8.value_or(1));
  layout::StoreUint32(&header[layout::kNameLengthAt],
                      content.nameLength.value_or(static_cast<uint32_t>(content.name.size())));
  for (size_t i = 0; i < content.name.size(); ++i) {
    layout::StoreUint16(&header[layout::kNameBlockAt + 2 * i], content.name[i]);
  }
  layout::StoreUint16(&header[layout::kPreservedWordAt], content.preservedWord);
  // Without entries: -1, none in use.
  const uint32_t lastEntry = static_cast<uint32_t>(content.entries.size() - 1);
  layout::StoreUint32(&header[layout::kLastEntryIndexAt], content.lastEntryIndex.value_or(lastEntry));
  out.Write(0, header.data(), header.size());

  for (size_t i = 0; i < content.entries.size(); ++i) {
    EntryContent& entry = content.entries[i];
    const ContainerPlan::Entry& placed = plan.entries[i];
    const uint64_t at = layout::kDirectoryAt + layout::kEntrySize * i;
    std::vector<uint8_t> name(2 * entry.name.size());
    for (size_t u = 0; u < entry.name.size(); ++u) layout::StoreUint16(&name[2 * u], entry.name[u]);
    out.Write(at, name.data(), name.size());
    out.Write32(at + layout::kEntryTypeAt, placed.type);

    if (auto* bytes = std::get_if<std::string>(&entry.section)) {
      out.Write(placed.base, bytes->data(), bytes->size());
    } else if (placed.hasSection) {
      SectionOut section(out, placed.base);
      if (auto* geometry = std::get_if<GeometryContent>(&entry.section)) {
        WriteGeometry(section, *geometry, placed.geometry, plan.limits.maxBytes);
      } else {
        WriteChangeList(section, std::get<ChangeListContent>(entry.section));
      }
      section.Flush();
      if (section.offset() != placed.bytes) Changed("entry " + Number(i));
    }
    out.Write32(at + layout::kEntryOffsetAt, placed.offsetValue);
    if (progress) progress(i + 1, content.entries.size());
  }

  for (size_t i = 0; i < content.patches.size(); ++i) {
    const std::string& bytes = content.patches[i].bytes;
    out.Write(plan.patchAt[i], bytes.data(), bytes.size());
  }
  if (!sink.Finish(plan.length)) throw SinkError("the container could not be written");
}

void WriteContainerToFile(ContainerPlan& plan, const std::string& path,
                          const std::function<void(size_t, size_t)>& progress) {
  bool created = false;
  try {
    FileSink sink(path);
    created = sink.opened();
    if (!created) throw SinkError("cannot write " + path);
    WriteContainer(plan, sink, progress);
  } catch (...) {
    // The sink has closed the file: an open file cannot be removed on Windows.
    if (created) q9::platform::RemovePath(q9::Utf16FromUtf8(path));
    throw;
  }
}

}  // namespace q9x
