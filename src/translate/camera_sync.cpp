#include "translate/camera_sync.h"

#include "app/exchange_folder.h"
#include "records/record_reader.h"

namespace q9 {

float PlaceCamera(CameraTransform& camera, const CameraRecord& record) {
  const float fov = record._fov * 1.5f;
  camera = CameraTransform{{record._from.x, record._from.y, record._from.z},
                           {record._to.x, record._to.y, record._to.z},
                           {record._up.x, record._up.y, record._up.z},
                           fov};
  return fov;
}

void SyncCamera(LinkSession& session) {
  std::u16string text;
  if (!ReadRecordFile(FolderFilePath(GetExchangeFolder(), u"camera.cam"), text)) return;
  CameraRecord record;
  ParseCamera(text, record);
  const float fov = PlaceCamera(session.camera, record);
  session.link().SendCameraTransformFov(session.handle, &session.camera, fov);
}

}  // namespace q9
