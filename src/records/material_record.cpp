// Not built yet.
#include "records/material_record.h"

namespace q9 {
void ParseMaterial(const std::u16string&, MaterialRecord&) {}
}  // namespace q9
