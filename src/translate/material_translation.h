// Material translation: a material record becomes a renderer material.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/link_session.h"
#include "records/material_record.h"

namespace q9 {

// Creates the material under its MaterialID_Name and sets its type and properties.
void SendMaterial(LinkSession& session, const MaterialRecord& material);

// Sends the map path of kind `kind` as the string property `property`; false when the
// material has no map file of that kind to send (colour mode included).
bool SetMapProperty(LinkSession& session, const MaterialRecord& material, int32_t kind,
                    std::u16string_view property);

// "#RRGGBB", upper-case hexadecimal.
std::u16string ColorText(uint8_t red, uint8_t green, uint8_t blue);

}  // namespace q9
