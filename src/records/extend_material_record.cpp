// Not built yet.
#include "records/extend_material_record.h"

namespace q9 {
void ParseExtendMaterial(const std::u16string&, ExtendMaterialRecord&) {}
std::u16string FindMapFile(const MaterialRecord&, int32_t) { return {}; }
}  // namespace q9
