// Light source texts: flat records inside the scene container.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "records/float3.h"

namespace q9 {

enum class LightType : int32_t {
  Uninitialized = -1,
  point = 0,
  spot = 1,
  IES = 2,
  Area = 3,
  Line = 4,
  Led = 5,
  Emissive = 6,
  Camera = 7,
  eInvalidLightParentSolidID = -88888888,
};

struct LightSourceRecord {
  Float3 From;
  Float3 To;  // angles in radians: yaw = -x, pitch = y, roll = z
  Float3 Color;
  std::u16string strIESF_FilePath;  // relative to the "\IES\" folder of the exchange folder
  float LightTemperature = 0;
  int32_t LightSourceID = 0;
  int32_t LightSolidID = 0;
  int32_t LightTimeStamp = 0;
  LightType type = LightType::point;  // always set by the parser
  float Coneangle = 0;
  float Conedeltaangle = 0;
  float Intensity = 0;
  float fLedIntensitiUnit = 0;
  int32_t LightFlags = 0;
  std::u16string LightSourceIDName;
  std::u16string LightName;
  bool LightEnable = true;  // always set by the parser
};

// Fills `record` from a light source text; `type` and `LightEnable` are always replaced. Any text
// is safe (fuzzed); the record keeps three texts, each a piece of the text.
void ParseLightSource(const std::u16string& text, LightSourceRecord& record);

// The name the host writes for a light type ("point", "spot", "IES", ...); empty for a value
// that is no light type.
std::u16string_view LightTypeName(LightType type);

}  // namespace q9
