// Material translation: a material record becomes a renderer material.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/process_state.h"
#include "link/link_session.h"
#include "records/material_record.h"

namespace q9 {

// The string properties that carry a map's file (exchange folder + "\Textures\" + file name).
inline constexpr std::u16string_view kEmissiveMaskProperty = u"EmissiveMask";
inline constexpr std::u16string_view kDiffuseMapProperty = u"Diffuse Map";
inline constexpr std::u16string_view kNormalMapProperty = u"Normal Map One";
inline constexpr std::u16string_view kRoughnessMapProperty = u"Roughness Map";
inline constexpr std::u16string_view kMetallicMapProperty = u"MetallicMap";
inline constexpr std::u16string_view kAOMapProperty = u"AOMap";
inline constexpr std::u16string_view kOpacityMapProperty = u"OpacityMap";
// All of them, in the order SendMaterial sends them.
inline constexpr std::array<std::u16string_view, 7> kMapProperties{
    kEmissiveMaskProperty, kDiffuseMapProperty, kNormalMapProperty, kRoughnessMapProperty,
    kMetallicMapProperty,  kAOMapProperty,      kOpacityMapProperty};

// Creates the material under its MaterialID_Name and sets its type, values, emission and map
// properties: a map's file where the material has one (and the process is not in colour mode),
// else the value or colour that stands in for it. The value properties come from the first entry
// of their kind and are left out when the material has none. The properties in their order:
// tests/translate/material_translation_test.cpp.
void SendMaterial(LinkSession& session, ProcessState& process, const MaterialRecord& material);

// Sends exchange folder + "\Textures\" + the map file of `kind` (FindMapFile with the process's
// colour mode) as the string property `property`; false without any call when there is no file.
bool SetMapProperty(LinkSession& session, ProcessState& process, const MaterialRecord& material,
                    int32_t kind, std::u16string_view property);

// "#RRGGBB", upper-case hexadecimal.
std::u16string ColorText(uint8_t red, uint8_t green, uint8_t blue);

// One colour component for ColorText: component x 255 in single precision, truncated toward
// zero, its low 8 bits; not clamped (1.2 gives 306, whose low byte is 0x32). A product beyond the
// 32-bit range, or NaN, gives 0.
uint8_t ColorComponent(float component);

}  // namespace q9
