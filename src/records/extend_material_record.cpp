#include "records/extend_material_record.h"

#include "records/material_record.h"
#include "records/record_reader.h"

namespace q9 {

namespace {

using E = ExtendMaterialRecord;

constexpr RecordKey<ExtendMaterialRecord> kExtendMaterialKeys[] = {
    {u"Version", KeyForm::Bracketed, NotKept{}},
    {u"nAlcolor", KeyForm::Bracketed, &E::nAlcolor},
    {u"nFlag", KeyForm::Bracketed, &E::nFlag},
    {u"Value", KeyForm::Bare, &E::Value},  // the one bare key of the kind
    {u"strFile", KeyForm::Bracketed, &E::strFile},
    {u"Type", KeyForm::Bracketed, &E::Type},
    {u"Color", KeyForm::Bracketed, &E::Color},
};

constexpr int32_t kUseMapFile = 2;

}  // namespace

void ParseExtendMaterial(const std::u16string& text, ExtendMaterialRecord& record) {
  ReadBlockRecord<ExtendMaterialRecord>(text, u"ExtendMaterial", kExtendMaterialKeys, record);
}

std::u16string FindMapFile(const MaterialRecord& material, int32_t kind, bool colorMode) {
  if (colorMode) return {};
  for (const ExtendMaterialRecord& entry : material.extendMaterials) {
    // Only the first entry of a kind counts, with or without its flag.
    if (entry.Type == kind) return (entry.nFlag & kUseMapFile) ? entry.strFile : std::u16string();
  }
  return {};
}

}  // namespace q9
