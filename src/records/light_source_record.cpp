#include "records/light_source_record.h"

#include <utility>

#include "records/record_reader.h"

namespace q9 {

namespace {

// The record with the two values collected aside while the lines are read.
struct LightSourceText : LightSourceRecord {
  std::u16string typeName;
  int32_t enable = 1;
};

using L = LightSourceRecord;
constexpr KeyForm kBracketed = KeyForm::Bracketed;

// In this order. Every pattern ends with its separator, so "LightSource", "LightSourceIDName"
// and "LightSourceID" never take each other's lines.
constexpr RecordKey<LightSourceText> kLightSourceKeys[] = {
    {u"Ver", KeyForm::Bare, NotKept{}},
    {u"LightFlags", kBracketed, &L::LightFlags},
    {u"LightSource", kBracketed, &LightSourceText::typeName},
    {u"LightSourceIDName", kBracketed, &L::LightSourceIDName},
    {u"From", kBracketed, &L::From},
    {u"To", kBracketed, &L::To},
    {u"Color", kBracketed, &L::Color},
    {u"Coneangle", kBracketed, &L::Coneangle},
    {u"Conedeltaangle", kBracketed, &L::Conedeltaangle},
    {u"Intensity", kBracketed, &L::Intensity},
    {u"fLedIntensitiUnit", kBracketed, &L::fLedIntensitiUnit},
    {u"LightTimeStamp:", kBracketed, &L::LightTimeStamp},
    {u"LightName", kBracketed, &L::LightName},
    {u"strIESF_FilePath", kBracketed, &L::strIESF_FilePath},
    {u"LightTemperature", kBracketed, &L::LightTemperature},
    {u"LightEnable:", kBracketed, &LightSourceText::enable},
    {u"LightSourceID", kBracketed, &L::LightSourceID},
    {u"LightSolidID", kBracketed, &L::LightSolidID},
};

struct NamedLightType {
  std::u16string_view name;
  LightType type;
};

constexpr NamedLightType kLightTypeNames[] = {
    {u"Uninitialized", LightType::Uninitialized},
    {u"point", LightType::point},
    {u"spot", LightType::spot},
    {u"IES", LightType::IES},
    {u"Area", LightType::Area},
    {u"Line", LightType::Line},
    {u"Led", LightType::Led},
    {u"Emissive", LightType::Emissive},
    {u"Camera", LightType::Camera},
    {u"eInvalidLightParentSolidID", LightType::eInvalidLightParentSolidID},
};

// A name of no kind, and no name at all, give a point light.
LightType LightTypeNamed(std::u16string_view name) {
  for (const NamedLightType& entry : kLightTypeNames) {
    if (entry.name == name) return entry.type;
  }
  return LightType::point;
}

}  // namespace

std::u16string_view LightTypeName(LightType type) {
  for (const NamedLightType& entry : kLightTypeNames) {
    if (entry.type == type) return entry.name;
  }
  return {};
}

void ParseLightSource(const std::u16string& text, LightSourceRecord& record) {
  LightSourceText fields;
  static_cast<LightSourceRecord&>(fields) = std::move(record);
  ReadFlatRecord<LightSourceText>(text, kLightSourceKeys, fields);
  record = std::move(static_cast<LightSourceRecord&>(fields));
  record.type = LightTypeNamed(fields.typeName);
  record.LightEnable = fields.enable != 0;
}

}  // namespace q9
