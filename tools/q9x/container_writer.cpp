#include "container_writer.h"

#include <cstring>
#include <stdexcept>

#include "base/text.h"
#include "description_check.h"
#include "obj_mesh.h"
#include "scene/container_format.h"
#include "scene/scene_container.h"
#include "tool_files.h"

namespace q9x {

namespace {

using nlohmann::json;

[[noreturn]] void Fail(const std::string& message) { throw std::runtime_error(message); }

// Little-endian bytes, written at the end or patched in place.
class Bytes {
 public:
  size_t size() const { return data_.size(); }
  std::string& data() { return data_; }

  void Grow(size_t size) {
    if (data_.size() < size) data_.resize(size, '\0');
  }
  void Put(size_t at, const void* bytes, size_t count) {
    Grow(at + count);
    std::memcpy(data_.data() + at, bytes, count);
  }
  void Put32(size_t at, uint32_t value) {
    uint8_t b[4];
    q9::container::StoreUint32(b, value);
    Put(at, b, 4);
  }
  void Put16(size_t at, uint16_t value) {
    uint8_t b[2];
    q9::container::StoreUint16(b, value);
    Put(at, b, 2);
  }
  // UTF-16LE units at `at`, no length.
  void PutUnits(size_t at, const std::u16string& text) {
    for (size_t i = 0; i < text.size(); ++i) Put16(at + 2 * i, text[i]);
  }
  void Add32(uint32_t value) { Put32(size(), value); }
  void Add8(uint8_t value) { data_.push_back(static_cast<char>(value)); }
  void AddUnits(const std::u16string& text) { PutUnits(size(), text); }
  // Length-prefixed string.
  void AddString(const std::u16string& text) {
    Add32(static_cast<uint32_t>(text.size()));
    AddUnits(text);
  }
  void AddZeros(size_t count) { Grow(size() + count); }

 private:
  std::string data_;
};

uint32_t U32(const json& value) {
  if (value.is_number_unsigned()) return static_cast<uint32_t>(value.get<uint64_t>());
  return static_cast<uint32_t>(value.get<int64_t>());
}

// The value of `key` in `object` if present, else `fallback`.
uint32_t Field(const json& object, const char* key, uint32_t fallback) {
  const auto found = object.find(key);
  return found == object.end() ? fallback : U32(*found);
}

std::u16string Text16(const json& object, const char* key) {
  const auto found = object.find(key);
  return found == object.end() ? std::u16string() : q9::Utf16FromUtf8(found->get<std::string>());
}

class SectionWriter {
 public:
  explicit SectionWriter(const std::string& folder) : folder_(folder) {}

  // "text" or the content of "file" as UTF-16.
  std::u16string ItemText(const json& item) {
    if (item.contains("text")) return q9::Utf16FromUtf8(item["text"].get<std::string>());
    if (item.contains("file")) {
      const std::string path = ResolvePath(folder_, item["file"].get<std::string>());
      const std::optional<std::string> bytes = ReadWholeFile(path);
      if (!bytes) Fail("cannot read " + path);
      return q9::Utf16FromUtf8(*bytes);
    }
    return {};
  }

  std::string Geometry(const json& section, std::string& warning) {
    Bytes out;
    out.AddZeros(20);
    uint32_t materialBlockEnd = 0;
    uint32_t lightBlockSpan = 0;
    uint32_t solidBlockSize = 0;
    uint32_t viewBlockSize = 0;
    size_t stop = 20;  // where a reader's reading stops: the view block must start there

    if (section.contains("materials")) {
      const json& items = section["materials"];
      const size_t table = Table(out, items.size(), Field(section, "materialCount", items.size()));
      stop = out.size();
      for (size_t i = 0; i < items.size(); ++i) {
        out.Put32(table + 4 * i, static_cast<uint32_t>(out.size()));
        const size_t at = out.size();
        const std::u16string text = ItemText(items[i]);
        const uint32_t textBytes = Field(items[i], "textBytes", static_cast<uint32_t>(text.size() * 2));
        out.Add32(textBytes);
        out.Add32(0);
        out.Add32(0);
        out.AddUnits(text);
        const int32_t signedBytes = static_cast<int32_t>(textBytes);
        stop = at + 12 + (signedBytes > 0 ? static_cast<size_t>(signedBytes / 2) * 2 : 0);
      }
      materialBlockEnd = static_cast<uint32_t>(out.size());
    }

    if (section.contains("lights")) {
      const json& items = section["lights"];
      const size_t table = Table(out, items.size(), Field(section, "lightCount", items.size()));
      stop = out.size();
      for (size_t i = 0; i < items.size(); ++i) {
        out.Put32(table + 4 * i, static_cast<uint32_t>(out.size()));
        out.AddString(ItemText(items[i]));
        stop = out.size();
      }
      // Counted from the end of the material block, or from the section start without one.
      lightBlockSpan = static_cast<uint32_t>(out.size() - materialBlockEnd);
    }

    if (section.contains("solids")) {
      const size_t start = out.size();
      const json& items = section["solids"];
      const size_t table = Table(out, items.size(), Field(section, "solidCount", items.size()));
      stop = out.size();
      for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].is_null()) continue;
        out.Put32(table + 4 * i, static_cast<uint32_t>(out.size()));
        stop = Solid(out, items[i]);
      }
      solidBlockSize = static_cast<uint32_t>(out.size() - start);
    }

    if (section.contains("views")) {
      if (stop != out.size()) {
        warning += "views placed at section offset " + std::to_string(out.size()) +
                   ", but reading stops at " + std::to_string(stop) + "; ";
      }
      const size_t start = out.size();
      out.AddString(ItemText(section["views"]));
      viewBlockSize = static_cast<uint32_t>(out.size() - start);
    }

    out.Put32(0, Field(section, "materialBlockEnd", materialBlockEnd));
    out.Put32(4, Field(section, "lightBlockSpan", lightBlockSpan));
    out.Put32(8, Field(section, "solidBlockSize", solidBlockSize));
    out.Put32(12, Field(section, "viewBlockSize", viewBlockSize));
    out.Put32(16, Field(section, "reserved16", 0));
    return std::move(out.data());
  }

  std::string ChangeList(const json& section) {
    Bytes out;
    const json items = section.value("items", json::array());
    const uint32_t values = static_cast<uint32_t>(items.size() * 2);
    out.Add32(Field(section, "count", values));
    const size_t table = out.size();
    out.AddZeros(4 * values);
    for (size_t i = 0; i < items.size(); ++i) {
      const size_t at = out.size();
      out.Put32(table + 8 * i, static_cast<uint32_t>(at));
      out.AddString(Text16(items[i], "kind"));
      const json ids = items[i].value("ids", json::array());
      out.Add32(Field(items[i], "idCount", static_cast<uint32_t>(ids.size())));
      for (const json& id : ids) out.Add32(U32(id));
      // The odd values are not interpreted; they carry the item's size.
      out.Put32(table + 8 * i + 4, static_cast<uint32_t>(out.size() - at));
    }
    return std::move(out.data());
  }

 private:
  // An item table: the count as written (possibly an override) and room for `entries` offsets.
  // Returns where the offsets start.
  static size_t Table(Bytes& out, size_t entries, uint32_t countValue) {
    out.Add32(countValue);
    const size_t table = out.size();
    out.AddZeros(4 * entries);
    return table;
  }

  // Returns where a reader stops after the solid.
  size_t Solid(Bytes& out, const json& solid) {
    out.Add32(Field(solid, "field0", 0));
    const size_t headerField = out.size();
    out.Add32(0);
    out.Add8(static_cast<uint8_t>(Field(solid, "flag", 0)));
    out.Add32(Field(solid, "timeStamp", 0));
    out.AddString(Text16(solid, "name"));
    out.Add32(Field(solid, "field1", 0));
    out.Add32(Field(solid, "field2", 0));
    out.Add32(Field(solid, "id", 0));
    out.AddString(Text16(solid, "tag"));
    out.AddZeros(Field(solid, "padding", 0));
    out.Put32(headerField,
              Field(solid, "headerLength", static_cast<uint32_t>(out.size() - headerField)));
    const json meshes = solid.value("meshes", json::array());
    const size_t table =
        Table(out, meshes.size(), Field(solid, "meshCount", static_cast<uint32_t>(meshes.size())));
    size_t stop = out.size();
    for (size_t i = 0; i < meshes.size(); ++i) {
      if (meshes[i].is_null()) continue;
      out.Put32(table + 4 * i, static_cast<uint32_t>(out.size()));
      Mesh(out, meshes[i]);
      stop = out.size();
    }
    return stop;
  }

  void Mesh(Bytes& out, const json& mesh) {
    out.Add32(Field(mesh, "field0", 0));
    const size_t headerField = out.size();
    out.Add32(0);
    out.Add32(Field(mesh, "field1", 0));
    out.Add32(Field(mesh, "field2", 0));
    out.AddString(Text16(mesh, "name"));
    out.AddString(Text16(mesh, "tag"));
    out.AddZeros(Field(mesh, "padding", 0));
    out.Put32(headerField,
              Field(mesh, "headerLength", static_cast<uint32_t>(out.size() - headerField)));

    std::vector<uint32_t> arrays[8];
    auto floats = [](const std::vector<float>& values) {
      std::vector<uint32_t> raw(values.size());
      if (!values.empty()) std::memcpy(raw.data(), values.data(), values.size() * 4);
      return raw;
    };
    if (mesh.contains("obj")) {
      const std::string path = ResolvePath(folder_, mesh["obj"].get<std::string>());
      const std::optional<std::string> text = ReadWholeFile(path);
      if (!text) Fail("cannot read " + path);
      ObjMesh obj;
      std::string error;
      if (!ParseObj(*text, mesh.value("objObject", std::string()), obj, error)) {
        Fail(path + ": " + error);
      }
      arrays[0] = floats(obj.positions);
      arrays[4] = floats(obj.normals);
      arrays[1] = floats(obj.uvs);
    }
    if (mesh.contains("arrays")) {
      for (auto item = mesh["arrays"].begin(); item != mesh["arrays"].end(); ++item) {
        arrays[ArrayIndex(item.key())] = floats(item.value().get<std::vector<float>>());
      }
    }
    if (mesh.contains("raw")) {
      for (auto item = mesh["raw"].begin(); item != mesh["raw"].end(); ++item) {
        std::vector<uint32_t>& raw = arrays[ArrayIndex(item.key())];
        raw.clear();
        for (const json& value : item.value()) raw.push_back(U32(value));
      }
    }
    const json counts = mesh.value("counts", json::object());
    for (int a = 0; a < 8; ++a) {
      out.Add32(Field(counts, std::to_string(a + 1).c_str(), static_cast<uint32_t>(arrays[a].size())));
      for (uint32_t value : arrays[a]) out.Add32(value);
    }
  }

  static int ArrayIndex(const std::string& key) {
    if (key.size() != 1 || key[0] < '1' || key[0] > '8') Fail("mesh array \"" + key + "\": 1 to 8");
    return key[0] - '1';
  }

  std::string folder_;
};

int32_t SectionType(const json& entry) {
  if (entry.contains("type")) {
    const json& type = entry["type"];
    if (type.is_string()) {
      const std::string name = type.get<std::string>();
      if (name == "geometry") return static_cast<int32_t>(q9::SectionType::Geometry);
      if (name == "changeList") return static_cast<int32_t>(q9::SectionType::ChangeList);
      Fail("entry type \"" + name + "\": geometry, changeList or a number");
    }
    return static_cast<int32_t>(U32(type));
  }
  if (entry.contains("geometry")) return static_cast<int32_t>(q9::SectionType::Geometry);
  if (entry.contains("changeList")) return static_cast<int32_t>(q9::SectionType::ChangeList);
  return 0;
}

std::string FromHex(const std::string& hex) {
  if (hex.size() % 2 != 0) Fail("hex text of odd length");
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// Replaces every "${NAME}" in the strings of `value`.
void Substitute(json& value, const std::map<std::string, std::string>& defines) {
  if (value.is_string()) {
    std::string text = value.get<std::string>();
    size_t start;
    size_t from = 0;
    while ((start = text.find("${", from)) != std::string::npos) {
      const size_t end = text.find('}', start);
      if (end == std::string::npos) break;
      const std::string name = text.substr(start + 2, end - start - 2);
      const auto found = defines.find(name);
      if (found == defines.end()) Fail("\"${" + name + "}\" is not defined");
      text.replace(start, end - start + 1, found->second);
      from = start + found->second.size();
    }
    value = text;
  } else if (value.is_structured()) {
    for (json& element : value) Substitute(element, defines);
  }
}

}  // namespace

PackResult PackContainer(const json& original, const std::string& folder,
                         const std::map<std::string, std::string>& extraDefines,
                         const std::function<void(size_t, size_t)>& progress) {
  PackResult result;
  if (std::optional<std::string> problem = CheckDescription(original)) {
    result.error = std::move(*problem);
    return result;
  }
  try {
    std::map<std::string, std::string> defines;
    if (original.contains("defines")) {
      const json& own = original["defines"];
      for (auto define = own.begin(); define != own.end(); ++define) {
        defines[define.key()] = define.value().get<std::string>();
      }
    }
    for (const auto& [name, value] : extraDefines) defines[name] = value;
    json description = original;
    description.erase("defines");
    Substitute(description, defines);
    namespace layout = q9::container;
    Bytes file;
    file.AddZeros(layout::kHeaderSize);
    const json header = description.value("header", json::object());
    const json entries = description.value("entries", json::array());
    if (entries.size() > layout::kDirectoryEntries) Fail("more than 100 entries");

    const std::u16string name = Text16(header, "name");
    // The name may run into the preserved word (a damaged header), never past its block.
    if (name.size() > layout::kNameBlockUnits - 1) {
      Fail("container name longer than " + std::to_string(layout::kNameBlockUnits - 1) + " units");
    }
    file.Put32(layout::kReserved0At, Field(header, "reserved0", 0));
    file.Put32(layout::kHeaderSizeAt, Field(header, "headerSize", layout::kHeaderSize));
    file.Put32(layout::kReserved8At, Field(header, "reserved8", 1));
    file.Put32(layout::kNameLengthAt, Field(header, "nameLength", static_cast<uint32_t>(name.size())));
    file.PutUnits(layout::kNameBlockAt, name);
    file.Put16(layout::kPreservedWordAt, static_cast<uint16_t>(Field(header, "preservedWord", 0)));
    file.Put32(layout::kLastEntryIndexAt,
               Field(header, "lastEntryIndex", static_cast<uint32_t>(entries.size() - 1)));

    SectionWriter writer(folder);
    std::vector<size_t> sectionBase(entries.size(), 0);
    for (size_t i = 0; i < entries.size(); ++i) {
      const json& entry = entries[i];
      const size_t at = layout::kDirectoryAt + layout::kEntrySize * i;
      const std::u16string entryName = Text16(entry, "name");
      if (entryName.size() > layout::kEntryNameUnits - 1) {
        Fail("entry name longer than " + std::to_string(layout::kEntryNameUnits - 1) + " units");
      }
      file.PutUnits(at, entryName);
      file.Put32(at + layout::kEntryTypeAt, static_cast<uint32_t>(SectionType(entry)));

      std::string section;
      bool hasSection = true;
      if (entry.contains("geometry")) {
        section = writer.Geometry(entry["geometry"], result.warning);
      } else if (entry.contains("changeList")) {
        section = writer.ChangeList(entry["changeList"]);
      } else if (entry.contains("hex")) {
        section = FromHex(entry["hex"].get<std::string>());
      } else {
        hasSection = false;
      }
      size_t base = 0;
      if (entry.contains("offset")) {
        base = U32(entry["offset"]);
      } else if (hasSection) {
        base = file.size();
      }
      if (hasSection) file.Put(base, section.data(), section.size());
      sectionBase[i] = base;
      file.Put32(at + layout::kEntryOffsetAt, Field(entry, "offsetValue", static_cast<uint32_t>(base)));
      if (progress) progress(i + 1, entries.size());
    }

    for (const json& patch : description.value("patches", json::array())) {
      size_t at = U32(patch.at("at"));
      if (patch.contains("entry")) {
        const size_t index = U32(patch["entry"]);
        if (index >= entries.size()) Fail("patch of entry " + std::to_string(index) + ", which is not described");
        at += sectionBase[index];
      }
      if (patch.contains("int32") || patch.contains("uint32")) {
        file.Put32(at, U32(patch.contains("int32") ? patch["int32"] : patch["uint32"]));
      } else if (patch.contains("uint8")) {
        const uint8_t byte = static_cast<uint8_t>(U32(patch["uint8"]));
        file.Put(at, &byte, 1);
      } else if (patch.contains("hex")) {
        const std::string bytes = FromHex(patch["hex"].get<std::string>());
        file.Put(at, bytes.data(), bytes.size());
      } else {
        Fail("a patch needs int32, uint32, uint8 or hex");
      }
    }
    if (description.contains("truncate")) {
      const size_t length = U32(description["truncate"]);
      if (length < file.size()) file.data().resize(length);
    }
    result.bytes = std::move(file.data());
    result.ok = true;
  } catch (const std::exception& e) {
    result.error = e.what();
  }
  return result;
}

}  // namespace q9x
