// Not built yet.
#include "translate/material_translation.h"

namespace q9 {
void SendMaterial(LinkSession&, const MaterialRecord&) {}
bool SetMapProperty(LinkSession&, const MaterialRecord&, int32_t, std::u16string_view) {
  return false;
}
std::u16string ColorText(uint8_t, uint8_t, uint8_t) { return {}; }
}  // namespace q9
