// Views sync: the host's saved views become renderer scenes, its active view the camera.
#pragma once

#include "link/link_session.h"
#include "records/camera_record.h"

namespace q9 {

class SceneContainer;

// Reads "Views.cam" from the exchange folder and applies UpdateScenes; a missing file sends
// nothing.
void SyncViews(SceneContainer& container);

// Brings the renderer's scenes and camera in step with `list`, keeping container.scenes.
void UpdateScenes(const CameraListRecord& list, SceneContainer& container);

// Writes the scene's camera into session.camera and sends it with AddScene and Q9SendCamera.
void SendScene(LinkSession& session, const CameraRecord& scene);

}  // namespace q9
