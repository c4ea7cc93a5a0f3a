// Not built yet.
#include "scene/geometry_section.h"

namespace q9 {
void readGeometrySection(SceneContainer&, int64_t) {}
std::u16string beginSolidNode(LinkSession&, int32_t) { return {}; }
}  // namespace q9
