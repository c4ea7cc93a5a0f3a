// Not built yet.
#include "scene/model_sync.h"

namespace q9 {
bool loadStartupModel(SceneContainer&) { return false; }
void modelSyncNotify(SceneContainer&, const NotifyHost&) {}
void modelSyncApply(SceneContainer&, bool) {}
void writeSyncRecord(const SceneContainer&) {}
}  // namespace q9
