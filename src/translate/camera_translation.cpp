#include "translate/camera_translation.h"

namespace q9 {

float PlaceCamera(CameraTransform& camera, const CameraRecord& record) {
  const float fov = record._fov * 1.5f;
  camera = CameraTransform{{record._from.x, record._from.y, record._from.z},
                           {record._to.x, record._to.y, record._to.z},
                           {record._up.x, record._up.y, record._up.z},
                           fov};
  return fov;
}

void SendCamera(LinkSession& session, const CameraRecord& record) {
  const float fov = PlaceCamera(session.camera, record);
  session.link().SendCameraTransformFov(session.handle, &session.camera, fov);
}

}  // namespace q9
