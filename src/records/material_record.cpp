#include "records/material_record.h"

#include "records/record_reader.h"

namespace q9 {

namespace {

void AppendMapEntry(MaterialRecord& material, const std::u16string& entryText) {
  ExtendMaterialRecord entry;
  ParseExtendMaterial(entryText, entry);
  material.extendMaterials.push_back(std::move(entry));
}

using M = MaterialRecord;
constexpr KeyForm kBare = KeyForm::Bare;
constexpr KeyForm kBracketed = KeyForm::Bracketed;

// In this order: the first key whose pattern begins a line takes it.
constexpr RecordKey<MaterialRecord> kMaterialKeys[] = {
    {u"TypeNat", kBare, &M::TypeNat},
    {u"Ver", kBare, NotKept{}},
    {u"InterfaceName", kBracketed, &M::InterfaceName},
    {u"MaterialID_Name", kBracketed, &M::MaterialID_Name},
    {u"Diffuse", kBare, &M::Diffuse},
    {u"Diffuse_Logical", kBare, &M::Diffuse_Logical},
    {u"AmbientFactor", kBare, &M::AmbientFactor},
    {u"DiffuseFactor", kBare, &M::DiffuseFactor},
    {u"SpecularFactor", kBare, &M::SpecularFactor},
    {u"Roughness", kBare, &M::Roughness},
    {u"SpecularExponent", kBare, &M::SpecularExponent},
    {u"Anizotropic", kBare, &M::Anizotropic},
    {u"Glossy", kBare, &M::Glossy},
    {u"Fresnel", kBare, &M::Fresnel},
    {u"Specular", kBare, &M::Specular},
    {u"Reflection", kBare, &M::Reflection},
    {u"Transparent", kBare, &M::Transparent},
    {u"IOR", kBare, &M::IOR},
    {u"Bump", kBare, &M::Bump},
    {u"Mat_Flags", kBare, &M::Mat_Flags},
    {u"MixedColor", kBracketed, &M::MixedColor},
    {u"EmissiveIntensity", kBare, &M::EmissiveIntensity},
    {u"_nMatDescIndex", kBracketed, &M::_nMatDescIndex},
    {u"emissiveColor", kBracketed, &M::emissiveColor},
    {u"emissiveStrength", kBracketed, &M::emissiveStrength},
    {u"nTimeID", kBracketed, &M::nTimeID},
    {u"MatExt", KeyForm::ListEntry, ObjectList<MaterialRecord>{AppendMapEntry}},
};

}  // namespace

void ParseMaterial(const std::u16string& text, MaterialRecord& record) {
  ReadFlatRecord<MaterialRecord>(text, kMaterialKeys, record);
  if (record.Roughness < 0) record.Roughness = 0;
}

}  // namespace q9
