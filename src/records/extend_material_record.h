// "ExtendMaterial" block records: the texture map entries of a material.
#pragma once

#include <cstdint>
#include <string>

#include "records/float3.h"

namespace q9 {

struct MaterialRecord;

struct ExtendMaterialRecord {
  int32_t Type = 0;  // map kind: 1 diffuse, 2 normal, 3 ambient occlusion, 5 roughness, 6 metallic
  std::u16string strFile;  // relative to the "\Textures\" folder of the exchange folder
  Float3 Color{-1, -1, -1};
  int32_t nAlcolor = -1;
  int32_t nFlag = 0;  // bit of value 2: the map's file is to be used
  float Value = 0;
};

// Fills `record` from the text of one list entry. Any text is safe (fuzzed); the record keeps
// one file name, a piece of the text.
void ParseExtendMaterial(const std::u16string& text, ExtendMaterialRecord& record);

// The image file of map kind `kind`: the `strFile` of the first entry of that kind when its
// `nFlag` has the bit of value 2; empty when there is no such entry, the first one lacks the
// bit, or `colorMode` is set (the process runs in colour mode).
std::u16string FindMapFile(const MaterialRecord& material, int32_t kind, bool colorMode);

}  // namespace q9
