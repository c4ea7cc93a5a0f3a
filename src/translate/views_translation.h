// Views translation: the host's saved views become renderer scenes, its active view the camera.
#pragma once

#include <vector>

#include "link/link_session.h"
#include "records/camera_record.h"

namespace q9 {

// Brings the renderer's scenes and camera in step with `list`, keeping `scenes` (the scene
// container's list of what was sent):
// - a valid active index (0 <= nActCamera < count) sends that camera with
//   SendCameraTransformFov and stores it as element 0 of `scenes` (appended when empty);
// - every other camera, in list order, is looked up by exact Name from element 0 on (the first
//   scene of that name): found, the stored scene takes the view's values only when the view
//   changed (a from/to/up component off by more than 0.0001, or any fov difference) and the
//   stored scene is sent; not found, the view is sent and appended;
// - SendScenes with the raw archive path ends every update, an empty list included.
// Scenes are never removed here. The cost is linear in the views and scenes.
void UpdateScenes(const CameraListRecord& list, std::vector<CameraRecord>& scenes,
                  LinkSession& session);

// Writes the scene's camera into session.camera (fov = _fov x 1.5) and sends it with
// AddScene(Name, Name, camera, fov) and Q9SendCamera.
void SendScene(LinkSession& session, const CameraRecord& scene);

}  // namespace q9
