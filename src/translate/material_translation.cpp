#include "translate/material_translation.h"

#include <cstdio>

#include "base/process_state.h"
#include "base/text.h"

namespace q9 {

namespace {

const ExtendMaterialRecord* FirstEntryOfKind(const MaterialRecord& material, int32_t kind) {
  for (const ExtendMaterialRecord& entry : material.extendMaterials) {
    if (entry.Type == kind) return &entry;
  }
  return nullptr;
}

class MaterialCalls {
 public:
  MaterialCalls(LinkSession& session, const MaterialRecord& material)
      : link_(session.link()), h_(session.handle), key_(material.MaterialID_Name.c_str()) {}

  void Text(const char16_t* property, const std::u16string& value) const {
    link_.Q9SetMaterialStringProperty(h_, key_, property, value.c_str());
  }
  void Float(const char16_t* property, float value) const {
    link_.Q9SetMaterialFloatProperty(h_, key_, property, value);
  }
  void Int(const char16_t* property, int32_t value) const {
    link_.Q9SetMaterialIntProperty(h_, key_, property, value);
  }
  // The value of the first entry of the kind, when there is one.
  void EntryValue(const MaterialRecord& material, int32_t kind, const char16_t* property) const {
    if (const ExtendMaterialRecord* entry = FirstEntryOfKind(material, kind)) {
      Float(property, entry->Value);
    }
  }

 private:
  const LinkCalls& link_;
  Q9Session h_;
  const char16_t* key_;
};

}  // namespace

uint8_t ColorComponent(float component) {
  const float scaled = component * 255.0f;
  // Converting a float outside the int range is undefined; the host's conversion gives the
  // 0x80000000 pattern there, whose low byte is 0.
  if (!(scaled > -2147483648.0f && scaled < 2147483648.0f)) return 0;
  return static_cast<uint8_t>(static_cast<uint32_t>(static_cast<int32_t>(scaled)));
}

std::u16string ColorText(uint8_t red, uint8_t green, uint8_t blue) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", red, green, blue);
  return Ascii16(text);
}

bool SetMapProperty(LinkSession& session, ProcessState& process, const MaterialRecord& material,
                    int32_t kind,
                    std::u16string_view property) {
  const std::u16string file = FindMapFile(material, kind, process.colorMode);
  if (file.empty()) return false;
  const std::u16string path = process.folder() + u"\\Textures\\" + file;
  const std::u16string name(property);
  session.link().Q9SetMaterialStringProperty(session.handle, material.MaterialID_Name.c_str(),
                                             name.c_str(), path.c_str());
  return true;
}

void SendMaterial(LinkSession& session, ProcessState& process, const MaterialRecord& material) {
  const LinkCalls& link = session.link();
  const char16_t* key = material.MaterialID_Name.c_str();
  link.Q9AddMaterial(session.handle, key);
  // Widened to double before the comparison: a Transparent written as 0.9 is stored as
  // 0.89999998 and counts as below; NaN gives 0.
  link.Q9SetMaterialType(session.handle, key,
                         static_cast<double>(material.Transparent) < 0.9 ? 1 : 0);
  const MaterialCalls set(session, material);
  set.Text(u"name", material.InterfaceName);
  set.Float(u"Opacity", 1.0f - material.Transparent);
  set.Float(u"Refraction", material.IOR);

  if (material.TypeNat == 17) {
    if (!SetMapProperty(session, process, material, 1, kEmissiveMaskProperty)) {
      const uint32_t rgb = static_cast<uint32_t>(material.emissiveColor);
      set.Text(u"Emissive Color", ColorText(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF));
    }
    set.Int(u"EmissiveSwitcher", 1);
    set.Float(u"Light", static_cast<float>(material.EmissiveIntensity) / 100.0f);
  }

  if (!SetMapProperty(session, process, material, 1, kDiffuseMapProperty)) {
    set.Text(u"Diffuse (Color)",
             ColorText(ColorComponent(material.Diffuse.x), ColorComponent(material.Diffuse.y),
                       ColorComponent(material.Diffuse.z)));
  }
  SetMapProperty(session, process, material, 2, kNormalMapProperty);
  if (!SetMapProperty(session, process, material, 5, kRoughnessMapProperty)) {
    set.EntryValue(material, 5, u"Roughness Map (opacity)");
  }
  if (!SetMapProperty(session, process, material, 6, kMetallicMapProperty)) {
    set.EntryValue(material, 6, u"Metallic");
  }
  SetMapProperty(session, process, material, 3, kAOMapProperty);
  set.EntryValue(material, 3, u"AOIntensity");
  SetMapProperty(session, process, material, 1, kOpacityMapProperty);
}

}  // namespace q9
