// Not built yet.
#include "translate/light_translation.h"

namespace q9 {
std::u16string lightNodeName(const LightSourceRecord&) { return {}; }
void SendLight(LinkSession&, const LightSourceRecord&) {}
std::u16string AddLightEntity(LinkSession&, const LightSourceRecord&) { return {}; }
std::array<float, 16> LightTransform(const Float3&, const Float3&) { return {}; }
}  // namespace q9
