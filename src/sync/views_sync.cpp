#include "sync/views_sync.h"

#include "records/record_reader.h"
#include "sync/record_files.h"
#include "translate/views_translation.h"

namespace q9 {

bool SyncViews(SceneContainer& container) {
  std::u16string text;
  if (!ReadHostRecordFile(container.process, u"Views.cam", text)) return false;
  CameraListRecord list;
  ParseCameraList(text, list);
  UpdateScenes(list, container.scenes, container.session);
  return true;
}

}  // namespace q9
