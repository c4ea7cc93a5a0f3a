// Views sync: the host's saved views become renderer scenes, its active view the camera.
#pragma once

#include "link/link_session.h"
#include "records/camera_record.h"

namespace q9 {

class SceneContainer;

// Reads "Views.cam" from the exchange folder, parses it with ParseCameraList and applies
// UpdateScenes with the container. A file that cannot be opened sends nothing at all.
void SyncViews(SceneContainer& container);

// Brings the renderer's scenes and camera in step with `list`, keeping container.scenes:
// - a valid active index (0 <= nActCamera < count) sends that camera with
//   SendCameraTransformFov and stores it as element 0 of `scenes` (appended when empty);
// - every other camera, in list order, is looked up by exact Name from element 0 on: found, the
//   stored scene takes the view's values only when the view changed (a from/to/up component off
//   by more than 0.0001, or any fov difference) and the stored scene is sent; not found, the
//   view is sent and appended;
// - SendScenes with the raw archive path ends every update, an empty list included.
// Scenes are never removed here.
void UpdateScenes(const CameraListRecord& list, SceneContainer& container);

// Writes the scene's camera into session.camera (fov = _fov x 1.5) and sends it with
// AddScene(Name, Name, camera, fov) and Q9SendCamera.
void SendScene(LinkSession& session, const CameraRecord& scene);

}  // namespace q9
