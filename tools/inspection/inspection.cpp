#include "inspection/inspection.h"

#include <cstdio>

#include "base/text.h"
#include "records/camera_record.h"
#include "records/light_source_record.h"
#include "records/material_record.h"
#include "scene/change_list.h"
#include "scene/geometry_section.h"
#include "scene/scene_container.h"
#include "common/files.h"

namespace q9x {

namespace {

using nlohmann::json;

// A section's damage list stops growing here; the rest is only counted.
constexpr size_t kDamageShown = 40;

std::string Utf8(const std::u16string& text) { return q9::Utf8FromUtf16(text); }

json Triple(const q9::Float3& v) { return json::array({v.x, v.y, v.z}); }

const char* DamageKind(q9::ReadDamage::Kind kind) {
  using Kind = q9::ReadDamage::Kind;
  switch (kind) {
    case Kind::OffsetOutside: return "offsetOutside";
    case Kind::PastEnd: return "pastEnd";
    case Kind::CountCut: return "countCut";
    case Kind::BudgetSpent: return "budgetSpent";
  }
  return "";
}

// Collects a section's damage into `section["damage"]`.
void WatchDamage(q9::SceneContainer& container, json& section) {
  section["damage"] = json::array();
  section["damageNotShown"] = 0;
  const int64_t length = container.reader.length();
  container.reader.onDamage = [&section, length](const q9::ReadDamage& damage) {
    json& list = section["damage"];
    if (list.size() >= kDamageShown) {
      section["damageNotShown"] = section["damageNotShown"].get<int64_t>() + 1;
      return;
    }
    list.push_back({{"offset", damage.position},
                    {"what", std::string(damage.context)},
                    {"kind", DamageKind(damage.kind)},
                    {"message", q9::DescribeDamage(damage, length)}});
  };
}

json MaterialJson(int64_t at, const std::u16string& text) {
  q9::MaterialRecord material;
  q9::ParseMaterial(text, material);
  json maps = json::array();
  for (const q9::ExtendMaterialRecord& map : material.extendMaterials) {
    maps.push_back({{"Type", map.Type}, {"strFile", Utf8(map.strFile)}, {"nFlag", map.nFlag},
                    {"Value", map.Value}, {"Color", Triple(map.Color)}});
  }
  return {{"at", at},
          {"textUnits", text.size()},
          {"MaterialID_Name", Utf8(material.MaterialID_Name)},
          {"InterfaceName", Utf8(material.InterfaceName)},
          {"_nMatDescIndex", material._nMatDescIndex},
          {"nTimeID", material.nTimeID},
          {"TypeNat", material.TypeNat},
          {"Transparent", material.Transparent},
          {"Diffuse", Triple(material.Diffuse)},
          {"Roughness", material.Roughness},
          {"EmissiveIntensity", material.EmissiveIntensity},
          {"maps", maps}};
}

json LightJson(int64_t at, const std::u16string& text) {
  q9::LightSourceRecord light;
  q9::ParseLightSource(text, light);
  return {{"at", at},
          {"textUnits", text.size()},
          {"LightSolidID", light.LightSolidID},
          {"LightName", Utf8(light.LightName)},
          {"type", static_cast<int32_t>(light.type)},
          {"LightEnable", light.LightEnable},
          {"From", Triple(light.From)},
          {"To", Triple(light.To)},
          {"Color", Triple(light.Color)},
          {"Intensity", light.Intensity},
          {"LightTemperature", light.LightTemperature},
          {"Coneangle", light.Coneangle},
          {"strIESF_FilePath", Utf8(light.strIESF_FilePath)},
          {"LightTimeStamp", light.LightTimeStamp}};
}

json SolidJson(const q9::SolidItem& solid) {
  return {{"at", solid.at},
          {"solidId", solid.solidId},
          {"timeStamp", solid.timeStamp},
          {"nodeName", "Solid_" + std::to_string(solid.solidId)},
          {"headerLength", solid.headerLength},
          {"meshListEntries", solid.meshCount},
          {"meshes", json::array()}};
}

json MeshJson(const q9::MeshItem& mesh) {
  json counts = json::array();
  for (uint64_t count : mesh.counts) counts.push_back(count);
  json cut = json::array();
  for (int a = 0; a < q9::container::kMeshArrays; ++a) {
    if (!mesh.complete[a]) cut.push_back(a + 1);
  }
  return {{"at", mesh.at},
          {"meshName", Utf8(mesh.meshName)},
          {"triangles", mesh.triangleCount()},
          {"arrayCounts", counts},
          {"arraysCut", cut}};
}

json ViewsJson(int64_t at, const std::u16string& text) {
  q9::CameraListRecord list;
  q9::ParseCameraList(text, list);
  json cameras = json::array();
  for (const q9::CameraRecord& camera : list.cameras) {
    cameras.push_back({{"Name", Utf8(camera.Name)},
                       {"_fov", camera._fov},
                       {"_from", Triple(camera._from)},
                       {"_to", Triple(camera._to)},
                       {"_up", Triple(camera._up)}});
  }
  return {{"at", at},
          {"textUnits", text.size()},
          {"nActCamera", list.nActCamera},
          {"cameras", cameras}};
}

json GeometryJson(q9::SceneContainer& container, int64_t base, bool listItems) {
  json section = {{"kind", "geometry"}};
  WatchDamage(container, section);
  q9::GeometryVisitor visitor;
  if (!listItems) {
    q9::WalkGeometrySection(container.reader, base, visitor);
    container.reader.onDamage = nullptr;
    return section;
  }
  section["materials"] = json::array();
  section["lights"] = json::array();
  section["solids"] = json::array();
  visitor.header = [&](const q9::GeometrySectionHeader& h) {
    section["header"] = {{"materialBlockEnd", h.materialBlockEnd},
                         {"lightBlockSpan", h.lightBlockSpan},
                         {"solidBlockSize", h.solidBlockSize},
                         {"viewBlockSize", h.viewBlockSize},
                         {"reserved16", h.reserved16}};
  };
  visitor.material = [&](int64_t at, std::u16string text) {
    section["materials"].push_back(MaterialJson(at, text));
  };
  visitor.light = [&](int64_t at, std::u16string text) {
    section["lights"].push_back(LightJson(at, text));
  };
  visitor.beginSolid = [&](const q9::SolidItem& solid) {
    section["solids"].push_back(SolidJson(solid));
  };
  visitor.mesh = [&](const q9::MeshItem& mesh) {
    section["solids"].back()["meshes"].push_back(MeshJson(mesh));
  };
  visitor.views = [&](int64_t at, std::u16string text) { section["views"] = ViewsJson(at, text); };
  q9::WalkGeometrySection(container.reader, base, visitor);
  container.reader.onDamage = nullptr;
  return section;
}

json ChangeListJson(q9::SceneContainer& container, int64_t base, bool listItems) {
  json section = {{"kind", "changeList"}, {"items", json::array()}};
  WatchDamage(container, section);
  q9::WalkChangeList(container.reader, base, [&](int64_t at, const std::u16string& kind) {
    json item = {{"at", at}, {"kind", Utf8(kind)}};
    if (kind == u"Solid" || kind == u"Material") {
      std::vector<uint32_t> ids;
      container.reader.ReadIdList(ids);
      item["ids"] = ids;
    } else {
      item["skipped"] = true;
    }
    if (listItems) section["items"].push_back(item);
  });
  container.reader.onDamage = nullptr;
  return section;
}

std::string TypeName(int32_t type) {
  if (type == q9::container::kGeometrySectionType) return "geometry";
  if (type == q9::container::kChangeListSectionType) return "changeList";
  return "inert";
}

bool EntryIsEmpty(const q9::DirectoryEntry& entry) {
  for (uint8_t byte : entry.bytes) {
    if (byte != 0) return false;
  }
  return true;
}

std::string Quoted(const json& text) { return "\"" + text.get<std::string>() + "\""; }

std::string Count(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string Number(const json& value) {
  if (value.is_number_float()) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value.get<double>());
    return text;
  }
  return value.dump();
}

std::string LightTypeName(int32_t type) {
  const std::u16string_view name = q9::LightTypeName(static_cast<q9::LightType>(type));
  return name.empty() ? "type " + std::to_string(type) : q9::Utf8FromUtf16(name);
}

std::string TripleText(const json& v) {
  return "(" + Number(v[0]) + ", " + Number(v[1]) + ", " + Number(v[2]) + ")";
}

void PrintGeometry(const json& section, std::ostream& out) {
  if (section.contains("header")) {
    const json& h = section["header"];
    out << "  section header: materialBlockEnd " << h["materialBlockEnd"] << ", lightBlockSpan "
        << h["lightBlockSpan"] << ", solidBlockSize " << h["solidBlockSize"]
        << ", viewBlockSize " << h["viewBlockSize"] << ", reserved16 " << h["reserved16"] << "\n";
  }
  for (const json& m : section["materials"]) {
    out << "  material at " << m["at"] << ": " << Quoted(m["MaterialID_Name"]) << ", MatIndex "
        << m["_nMatDescIndex"] << ", TimeStamp " << m["nTimeID"] << ", TypeNat " << m["TypeNat"]
        << ", Transparent " << Number(m["Transparent"]) << ", " << m["textUnits"]
        << " units of text\n";
    for (const json& map : m["maps"]) {
      out << "    map Type " << map["Type"] << ": " << Quoted(map["strFile"]) << ", nFlag "
          << map["nFlag"] << "\n";
    }
  }
  for (const json& l : section["lights"]) {
    out << "  light at " << l["at"] << ": Light" << l["LightSolidID"] << " "
        << Quoted(l["LightName"]) << ", " << LightTypeName(l["type"].get<int32_t>()) << ", "
        << (l["LightEnable"].get<bool>() ? "on" : "off") << ", From " << TripleText(l["From"]);
    if (!l["strIESF_FilePath"].get<std::string>().empty()) {
      out << ", profile " << Quoted(l["strIESF_FilePath"]);
    }
    out << "\n";
  }
  for (const json& s : section["solids"]) {
    out << "  solid " << s["solidId"] << " at " << s["at"] << ": time stamp " << s["timeStamp"]
        << ", node " << s["nodeName"].get<std::string>() << ", "
        << Count(s["meshes"].size(), "mesh", "meshes") << "\n";
    for (const json& m : s["meshes"]) {
      out << "    mesh " << Quoted(m["meshName"]) << " at " << m["at"] << ": " << m["triangles"]
          << " triangles; array counts";
      for (const json& count : m["arrayCounts"]) out << " " << count;
      if (!m["arraysCut"].empty()) out << "; arrays cut by the file's end: " << m["arraysCut"].dump();
      out << "\n";
    }
  }
  if (section.contains("views")) {
    const json& v = section["views"];
    out << "  views at " << v["at"] << ": " << Count(v["cameras"].size(), "camera", "cameras")
        << ", nActCamera " << v["nActCamera"];
    const char* separator = ": ";
    for (const json& camera : v["cameras"]) {
      out << separator << Quoted(camera["Name"]);
      separator = ", ";
    }
    out << "\n";
  }
}

void PrintChangeList(const json& section, std::ostream& out) {
  if (section["items"].empty()) out << "  no items\n";
  for (const json& item : section["items"]) {
    out << "  " << Quoted(item["kind"]) << " at " << item["at"];
    if (item.contains("ids")) {
      out << ": " << Count(item["ids"].size(), "id", "ids");
      const char* separator = " ";
      for (const json& id : item["ids"]) {
        out << separator << id;
        separator = ", ";
      }
    } else {
      out << ": not a kind the system reads, skipped";
    }
    out << "\n";
  }
}

}  // namespace

Outcome<json> InspectContainer(const std::string& path, bool listItems) {
  if (IsFolder(path)) {
    return Failure{FailureKind::File, path + " is a folder, not a container file"};
  }
  q9::ProcessState process;  // nothing is sent or logged: the container is only read
  q9::SceneContainer container(process);
  container.path = q9::Utf16FromUtf8(path);
  if (!container.OpenForReading()) return Failure{FailureKind::File, "cannot open " + path};
  json result = {{"file", path}, {"length", container.reader.length()}, {"damaged", false}};
  if (container.reader.length() < q9::kContainerHeaderSize) {
    result["short"] = true;
    // An empty file is one the system gives a fresh header; anything shorter but not empty is
    // a cut (or unfinished) container.
    if (container.reader.length() > 0) {
      result["damaged"] = true;
      result["damage"] = json::array({{{"offset", 0},
                                       {"what", "header"},
                                       {"kind", "short"},
                                       {"message", "the file is shorter than a container header (" +
                                                       std::to_string(q9::kContainerHeaderSize) + " bytes)"}}});
    }
    return result;
  }
  container.ReadHeader();
  result["header"] = {{"reserved0", container.reserved0},
                      {"headerSize", container.headerSize},
                      {"reserved8", container.reserved8},
                      {"nameLength", container.nameLength},
                      {"name", Utf8(container.name)},
                      {"preservedWord", container.preservedWord},
                      {"lastEntryIndex", container.lastEntryIndex}};
  json entries = json::array();
  for (int32_t i = 0; i < q9::kDirectoryEntries; ++i) {
    const q9::DirectoryEntry& entry = container.entries[static_cast<size_t>(i)];
    const bool inUse = i <= container.lastEntryIndex;
    if (!inUse && EntryIsEmpty(entry)) continue;
    json described = {{"index", i},
                      {"inUse", inUse},
                      {"name", Utf8(entry.name())},
                      {"type", entry.type()},
                      {"typeName", TypeName(entry.type())},
                      {"offset", entry.offset()}};
    if (inUse) {
      // Each section gets the reading budget of one operation, as it would in the system.
      container.reader.Attach(container.file.get());
      if (entry.is(q9::SectionType::Geometry)) {
        described["section"] = GeometryJson(container, entry.offset(), listItems);
      } else if (entry.is(q9::SectionType::ChangeList)) {
        described["section"] = ChangeListJson(container, entry.offset(), listItems);
      }
    }
    if (described.contains("section") && (!described["section"]["damage"].empty())) {
      result["damaged"] = true;
    }
    entries.push_back(described);
  }
  result["entries"] = entries;
  return result;
}

void PrintInspection(const json& inspection, std::ostream& out) {
  out << inspection["file"].get<std::string>() << ": " << inspection["length"] << " bytes\n";
  if (inspection.value("short", false)) {
    if (inspection["length"].get<int64_t>() == 0) {
      out << "empty: the system gives it a fresh header and reads nothing\n";
    } else {
      out << "damaged: shorter than a container header (" << q9::kContainerHeaderSize
          << " bytes); the system reads nothing from it\n";
    }
    return;
  }
  const json& h = inspection["header"];
  out << "header: reserved0 " << h["reserved0"] << ", headerSize " << h["headerSize"]
      << ", reserved8 " << h["reserved8"] << ", nameLength " << h["nameLength"]
      << ", preservedWord " << h["preservedWord"] << "\n";
  out << "  name " << Quoted(h["name"]) << "\n";
  const int32_t last = h["lastEntryIndex"].get<int32_t>();
  out << "  lastEntryIndex " << last;
  if (last < 0) {
    out << ": no entry in use\n";
  } else {
    out << ": entries 0 to " << std::min(last, q9::kDirectoryEntries - 1) << " in use\n";
  }
  for (const json& entry : inspection["entries"]) {
    out << "entry " << entry["index"] << (entry["inUse"].get<bool>() ? "" : " (not in use)")
        << ": " << entry["typeName"].get<std::string>() << " (type " << entry["type"]
        << ") at " << entry["offset"] << ", project " << Quoted(entry["name"]) << "\n";
    if (!entry.contains("section")) continue;
    const json& section = entry["section"];
    if (section["kind"] == "geometry") {
      PrintGeometry(section, out);
    } else {
      PrintChangeList(section, out);
    }
    if (section["damage"].empty()) {
      out << "  damage: none\n";
    } else {
      for (const json& damage : section["damage"]) {
        out << "  damaged " << damage["what"].get<std::string>() << ": "
            << damage["message"].get<std::string>() << "\n";
      }
      if (section["damageNotShown"].get<int64_t>() > 0) {
        out << "  ... and " << section["damageNotShown"] << " more damaged reads\n";
      }
    }
  }
}

}  // namespace q9x
