// Not built yet.
#include "translate/views_sync.h"

namespace q9 {
void SyncViews(SceneContainer&) {}
void UpdateScenes(const CameraListRecord&, SceneContainer&) {}
void SendScene(LinkSession&, const CameraRecord&) {}
}  // namespace q9
