#include "sync/views_sync.h"

#include "records/record_reader.h"
#include "translate/views_translation.h"

namespace q9 {

void SyncViews(SceneContainer& container) {
  std::u16string text;
  if (!ReadRecordFile(FolderFilePath(container.process.folder(), u"Views.cam"), text)) return;
  CameraListRecord list;
  ParseCameraList(text, list);
  UpdateScenes(list, container.scenes, container.session);
}

}  // namespace q9
