// Material texts: flat records inside the scene container, with their texture map entries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "records/extend_material_record.h"
#include "records/float3.h"

namespace q9 {

struct MaterialRecord {
  int32_t _nMatDescIndex = 0;
  int32_t TypeNat = 0;  // 17: a light-emitting material
  float Transparent = 1.0f;
  float Bump = 0;
  Float3 Diffuse;
  int32_t Diffuse_Logical = -1;
  float IOR = 0;
  Float3 Specular;
  float Reflection = 0;
  std::u16string MaterialID_Name;
  std::u16string InterfaceName;
  float AmbientFactor = 0;
  float DiffuseFactor = 0;
  float SpecularFactor = 0;
  float Roughness = 0;  // never negative after parsing
  float SpecularExponent = 0;
  float Anizotropic = 0;
  float Glossy = 0;
  int32_t Fresnel = 0;
  int32_t EmissiveIntensity = 0;  // percent
  int32_t Mat_Flags = 0;
  int32_t MixedColor = -1;
  int32_t nTimeID = -1;
  int32_t emissiveColor = 0;  // red bits 0-7, green 8-15, blue 16-23
  float emissiveStrength = 1.0f;
  std::vector<ExtendMaterialRecord> extendMaterials;
};

// Fills `record` from a material text. Any text is safe (fuzzed); its texts are pieces of the
// text and it gains one map entry per complete entry of two lines or more, so its memory is
// bounded by the text's length.
void ParseMaterial(const std::u16string& text, MaterialRecord& record);

}  // namespace q9
