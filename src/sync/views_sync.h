// Views sync: the host's saved views, read from "Views.cam", become renderer scenes.
#pragma once

#include "scene/scene_container.h"

namespace q9 {

// Reads "Views.cam" from the exchange folder, parses it with ParseCameraList and applies
// UpdateScenes to the container's scenes and session. A file that cannot be read sends nothing
// at all, is logged, and gives false.
bool SyncViews(SceneContainer& container);

}  // namespace q9
