// Camera translation: a host camera record becomes the renderer's camera block.
#pragma once

#include "link/link_session.h"
#include "records/camera_record.h"

namespace q9 {

// Writes all ten floats of `camera` from the record: _from, _to, _up, and _fov x 1.5 in single
// precision. Returns that fov.
float PlaceCamera(CameraTransform& camera, const CameraRecord& record);

// PlaceCamera into session.camera, then one SendCameraTransformFov: the renderer's camera moves.
void SendCamera(LinkSession& session, const CameraRecord& record);

}  // namespace q9
