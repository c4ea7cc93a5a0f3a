// Not built yet.
#include "records/light_source_record.h"

namespace q9 {
void ParseLightSource(const std::u16string&, LightSourceRecord&) {}
}  // namespace q9
