#include "pack/pack_description.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "common/files.h"
#include "pack/container_write.h"
#include "pack/description_check.h"
#include "pack/obj_mesh.h"

namespace q9x {

namespace {

using nlohmann::json;
namespace layout = q9::container;

[[noreturn]] void Fail(const std::string& message) { throw PackError(message); }

uint32_t U32(const json& value) {
  if (value.is_number_unsigned()) return static_cast<uint32_t>(value.get<uint64_t>());
  return static_cast<uint32_t>(value.get<int64_t>());
}

// The value of `key` in `object` if present, else `fallback`.
uint32_t Field(const json& object, const char* key, uint32_t fallback) {
  const auto found = object.find(key);
  return found == object.end() ? fallback : U32(*found);
}

std::optional<uint32_t> Override(const json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end()) return std::nullopt;
  return U32(*found);
}

std::u16string Text16(const json& object, const char* key) {
  const auto found = object.find(key);
  return found == object.end() ? std::u16string() : q9::Utf16FromUtf8(found->get<std::string>());
}

// Where the files a description names are found, and how large they may be.
struct Files {
  std::string folder;
  bool confined = false;
  uint64_t limit = 0;

  // `name` as seen from the folder; when confined, a name that leaves it is an error.
  std::string Path(const std::string& name) const {
    if (confined) {
      const bool absolute = (!name.empty() && (name[0] == '/' || name[0] == '\\')) ||
                            name.find(':') != std::string::npos;
      bool up = false;
      size_t start = 0;
      while (start <= name.size()) {
        const size_t end = std::min(name.find_first_of("/\\", start), name.size());
        up = up || name.compare(start, end - start, "..") == 0;
        start = end + 1;
      }
      if (absolute || up || folder.empty()) Fail(name + ": outside the description's folder");
    }
    return ResolvePath(folder, name);
  }
};

// "text", or the file "file" names, or nothing.
ItemText TextItem(const json& item, const Files& files) {
  ItemText text;
  if (item.contains("text")) {
    text.text = q9::Utf16FromUtf8(item["text"].get<std::string>());
  } else if (item.contains("file")) {
    text.file = files.Path(item["file"].get<std::string>());
  }
  return text;
}

std::string FromHex(const std::string& hex) {
  if (hex.size() % 2 != 0) Fail("hex text of odd length");
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

int ArrayIndex(const std::string& key) {
  if (key.size() != 1 || key[0] < '1' || key[0] > '8') Fail("mesh array \"" + key + "\": 1 to 8");
  return key[0] - '1';
}

std::vector<uint32_t> FloatBits(const std::vector<float>& values) {
  std::vector<uint32_t> bits(values.size());
  if (!values.empty()) std::memcpy(bits.data(), values.data(), values.size() * 4);
  return bits;
}

// The solids of a description's geometry section, made from its JSON list when asked; OBJ files
// are read each time.
class DescribedSolids : public SolidSource {
 public:
  DescribedSolids(std::shared_ptr<const json> description, const json& list, Files files)
      : description_(std::move(description)), list_(list), files_(std::move(files)) {}

  uint64_t count() const override { return list_.size(); }

  bool Solid(uint64_t index, SolidValues& solid) override {
    const json& item = list_[static_cast<size_t>(index)];
    if (item.is_null()) return false;
    solid.field0 = Field(item, "field0", 0);
    solid.headerLength = Override(item, "headerLength");
    solid.flag = static_cast<uint8_t>(Field(item, "flag", 0));
    solid.timeStamp = Field(item, "timeStamp", 0);
    solid.name = Text16(item, "name");
    solid.field1 = Field(item, "field1", 0);
    solid.field2 = Field(item, "field2", 0);
    solid.id = Field(item, "id", 0);
    solid.tag = Text16(item, "tag");
    solid.padding = Field(item, "padding", 0);
    solid.meshCount = Override(item, "meshCount");
    solid.meshes.clear();
    if (const auto meshes = item.find("meshes"); meshes != item.end()) {
      solid.meshes.resize(meshes->size());
      for (size_t i = 0; i < meshes->size(); ++i) {
        if (!(*meshes)[i].is_null()) Mesh((*meshes)[i], solid.meshes[i].emplace());
      }
    }
    return true;
  }

 private:
  void Mesh(const json& item, MeshValues& mesh) {
    mesh.field0 = Field(item, "field0", 0);
    mesh.headerLength = Override(item, "headerLength");
    mesh.field1 = Field(item, "field1", 0);
    mesh.field2 = Field(item, "field2", 0);
    mesh.name = Text16(item, "name");
    mesh.tag = Text16(item, "tag");
    mesh.padding = Field(item, "padding", 0);
    if (item.contains("obj")) {
      const std::string path = files_.Path(item["obj"].get<std::string>());
      const Outcome<std::string> text = ReadWholeFile(path, files_.limit, "the container may have");
      if (!text) Fail(text.failure().reason);
      ObjMesh obj;
      std::string error;
      if (!ParseObj(*text, item.value("objObject", std::string()), obj, error)) {
        Fail(path + ": " + error);
      }
      mesh.arrays[layout::kPositionsArray] = FloatBits(obj.positions);
      mesh.arrays[layout::kNormalsArray] = FloatBits(obj.normals);
      mesh.arrays[layout::kTextureCoordinatesArray] = FloatBits(obj.uvs);
    }
    if (item.contains("arrays")) {
      for (auto array = item["arrays"].begin(); array != item["arrays"].end(); ++array) {
        mesh.arrays[ArrayIndex(array.key())] = FloatBits(array.value().get<std::vector<float>>());
      }
    }
    if (item.contains("raw")) {
      for (auto array = item["raw"].begin(); array != item["raw"].end(); ++array) {
        std::vector<uint32_t>& raw = mesh.arrays[ArrayIndex(array.key())];
        raw.clear();
        for (const json& value : array.value()) raw.push_back(U32(value));
      }
    }
    if (const auto counts = item.find("counts"); counts != item.end()) {
      for (int a = 0; a < layout::kMeshArrays; ++a) {
        mesh.counts[a] = Override(*counts, std::to_string(a + 1).c_str());
      }
    }
  }

  std::shared_ptr<const json> description_;  // holds `list_`
  const json& list_;
  Files files_;
};

GeometryContent Geometry(const std::shared_ptr<const json>& description, const json& section,
                         const Files& files) {
  GeometryContent geometry;
  if (section.contains("materials")) {
    auto& materials = geometry.materials.emplace();
    for (const json& item : section["materials"]) {
      materials.push_back({TextItem(item, files), Override(item, "textBytes")});
    }
  }
  if (section.contains("lights")) {
    auto& lights = geometry.lights.emplace();
    for (const json& item : section["lights"]) lights.push_back(TextItem(item, files));
  }
  if (section.contains("solids")) {
    geometry.solids = std::make_shared<DescribedSolids>(description, section["solids"], files);
  }
  if (section.contains("views")) geometry.views = TextItem(section["views"], files);
  geometry.materialBlockEnd = Override(section, "materialBlockEnd");
  geometry.lightBlockSpan = Override(section, "lightBlockSpan");
  geometry.solidBlockSize = Override(section, "solidBlockSize");
  geometry.viewBlockSize = Override(section, "viewBlockSize");
  geometry.reserved16 = Override(section, "reserved16");
  geometry.materialCount = Override(section, "materialCount");
  geometry.lightCount = Override(section, "lightCount");
  geometry.solidCount = Override(section, "solidCount");
  return geometry;
}

ChangeListContent ChangeList(const json& section) {
  ChangeListContent changes;
  for (const json& item : section.value("items", json::array())) {
    ChangeItem& change = changes.items.emplace_back();
    change.kind = Text16(item, "kind");
    for (const json& id : item.value("ids", json::array())) change.ids.push_back(U32(id));
    change.idCount = Override(item, "idCount");
  }
  changes.count = Override(section, "count");
  return changes;
}

std::optional<uint32_t> EntryType(const json& entry) {
  if (!entry.contains("type")) return std::nullopt;
  const json& type = entry["type"];
  if (type.is_string()) {
    const std::string name = type.get<std::string>();
    if (name == "geometry") return layout::kGeometrySectionType;
    if (name == "changeList") return layout::kChangeListSectionType;
    Fail("entry type \"" + name + "\": geometry, changeList or a number");
  }
  return U32(type);
}

// Replaces every "${NAME}" in the strings of `value`. `budget` is what the replacements may add in
// all: a long define named many times would otherwise make text without end from a short
// description.
void Substitute(json& value, const std::map<std::string, std::string>& defines, uint64_t& budget) {
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
      if (found->second.size() > budget) {
        Fail("\"${" + name +
             "}\": the replacements would make more text than the container may hold");
      }
      budget -= found->second.size();
      text.replace(start, end - start + 1, found->second);
      from = start + found->second.size();
    }
    value = text;
  } else if (value.is_structured()) {
    for (json& element : value) Substitute(element, defines, budget);
  }
}

// The description with "${NAME}" replaced by its own "defines" and the options' (which win),
// and "defines" taken out.
std::shared_ptr<json> Substituted(const json& original, const PackOptions& options) {
  std::map<std::string, std::string> defines;
  if (original.contains("defines")) {
    const json& own = original["defines"];
    for (auto define = own.begin(); define != own.end(); ++define) {
      defines[define.key()] = define.value().get<std::string>();
    }
  }
  for (const auto& [name, value] : options.defines) defines[name] = value;
  auto description = std::make_shared<json>(original);
  description->erase("defines");
  // Every replaced text ends up in the container, hex at two characters a byte.
  uint64_t budget = 2 * std::min(options.limits.maxBytes, kMaxContainerBytes);
  Substitute(*description, defines, budget);
  return description;
}

void ReadHeader(const json& header, ContainerContent& content) {
  content.name = Text16(header, "name");
  content.reserved0 = Override(header, "reserved0");
  content.headerSize = Override(header, "headerSize");
  content.reserved8 = Override(header, "reserved8");
  content.nameLength = Override(header, "nameLength");
  content.preservedWord = static_cast<uint16_t>(Field(header, "preservedWord", 0));
  content.lastEntryIndex = Override(header, "lastEntryIndex");
}

EntryContent Entry(const std::shared_ptr<const json>& description, const json& item,
                   const Files& files) {
  EntryContent entry;
  entry.name = Text16(item, "name");
  entry.type = EntryType(item);
  entry.offset = Override(item, "offset");
  entry.offsetValue = Override(item, "offsetValue");
  if (item.contains("geometry")) {
    entry.section = Geometry(description, item["geometry"], files);
  } else if (item.contains("changeList")) {
    entry.section = ChangeList(item["changeList"]);
  } else if (item.contains("hex")) {
    entry.section = FromHex(item["hex"].get<std::string>());
  }
  return entry;
}

PatchContent Patch(const json& item) {
  PatchContent patch;
  patch.at = U32(item.at("at"));
  if (item.contains("entry")) patch.entry = U32(item["entry"]);
  uint8_t word[4];
  if (item.contains("int32") || item.contains("uint32")) {
    layout::StoreUint32(word, U32(item.contains("int32") ? item["int32"] : item["uint32"]));
    patch.bytes.assign(reinterpret_cast<const char*>(word), 4);
  } else if (item.contains("uint8")) {
    patch.bytes.assign(1, static_cast<char>(U32(item["uint8"])));
  } else if (item.contains("hex")) {
    patch.bytes = FromHex(item["hex"].get<std::string>());
  } else {
    Fail("a patch needs int32, uint32, uint8 or hex");
  }
  return patch;
}

ContainerContent Content(const json& original, const std::string& folder,
                         const PackOptions& options) {
  const std::shared_ptr<const json> description = Substituted(original, options);
  const Files files{folder, options.filesInFolderOnly, options.limits.maxBytes};
  ContainerContent content;
  ReadHeader(description->value("header", json::object()), content);
  if (description->contains("entries")) {
    for (const json& item : (*description)["entries"]) {
      content.entries.push_back(Entry(description, item, files));
    }
  }
  for (const json& item : description->value("patches", json::array())) {
    content.patches.push_back(Patch(item));
  }
  if (description->contains("truncate")) content.truncate = U32((*description)["truncate"]);
  return content;
}

}  // namespace

ContainerPlan PlanDescription(const json& description, const std::string& folder,
                              const PackOptions& options) {
  if (std::optional<std::string> problem = CheckDescription(description)) Fail(*problem);
  return PlanContainer(Content(description, folder, options), options.limits);
}

namespace {

// Plans the description and hands the plan to write; a failure of either step becomes the
// result's error, the sink's own failures marked as such.
template <typename Write>
PackResult Pack(const json& description, const std::string& folder, const PackOptions& options,
                Write write) {
  PackResult result;
  try {
    ContainerPlan plan = PlanDescription(description, folder, options);
    result.warning = plan.warning;
    write(plan);
    result.ok = true;
  } catch (const SinkError& e) {
    result.error = e.what();
    result.sinkFailed = true;
  } catch (const std::exception& e) {
    result.error = e.what();
  }
  return result;
}

}  // namespace

PackResult PackContainer(const json& description, const std::string& folder, ContainerSink& sink,
                         const PackOptions& options) {
  return Pack(description, folder, options,
              [&](ContainerPlan& plan) { WriteContainer(plan, sink, options.progress); });
}

PackResult PackContainer(const json& description, const std::string& folder,
                         const std::map<std::string, std::string>& defines,
                         const std::function<void(size_t, size_t)>& progress) {
  MemorySink sink;
  PackOptions options;
  options.defines = defines;
  options.progress = progress;
  PackResult result = PackContainer(description, folder, sink, options);
  if (result.ok) result.bytes = sink.Take();
  return result;
}

PackResult PackContainerToFile(const json& description, const std::string& folder,
                               const std::string& path, const PackOptions& options) {
  return Pack(description, folder, options, [&](ContainerPlan& plan) {
    WriteContainerToFile(plan, path, options.progress);
  });
}

}  // namespace q9x
