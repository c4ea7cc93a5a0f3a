// Material translation: a material record becomes a renderer material.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/process_state.h"
#include "link/link_session.h"
#include "records/material_record.h"

namespace q9 {

// Creates the material under its MaterialID_Name and sets, in this order: the type (1 when
// Transparent < 0.9 in double precision, else 0), "name", "Opacity" (1 - Transparent),
// "Refraction"; for a light-emitting material (TypeNat 17) "EmissiveMask" or "Emissive Color",
// "EmissiveSwitcher" and "Light" (EmissiveIntensity / 100); "Diffuse Map" or "Diffuse (Color)";
// "Normal Map One"; "Roughness Map" or "Roughness Map (opacity)"; "MetallicMap" or "Metallic";
// "AOMap" and "AOIntensity"; "OpacityMap". The value properties come from the first entry of
// their kind and are left out when the material has none.
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
