// Not built yet.
#include "translate/camera_sync.h"

namespace q9 {
void SyncCamera(LinkSession&) {}
}  // namespace q9
