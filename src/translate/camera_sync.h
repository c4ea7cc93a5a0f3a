// Camera sync: the renderer's camera follows "camera.cam".
#pragma once

#include "link/link_session.h"
#include "records/camera_record.h"

namespace q9 {

// Reads "camera.cam" from the exchange folder, parses it with ParseCamera into a record that
// starts at zero, writes it into session.camera (fov = _fov x 1.5) and sends it with one
// SendCameraTransformFov. A file that cannot be opened sends nothing.
void SyncCamera(LinkSession& session);

// Writes all ten floats of `camera` from the record: _from, _to, _up, and _fov x 1.5 in single
// precision. Returns that fov.
float PlaceCamera(CameraTransform& camera, const CameraRecord& record);

}  // namespace q9
