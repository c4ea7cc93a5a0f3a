#include "sync/camera_sync.h"

#include "records/record_reader.h"
#include "translate/camera_translation.h"

namespace q9 {

void SyncCamera(LinkSession& session, ProcessState& process) {
  std::u16string text;
  if (!ReadRecordFile(FolderFilePath(process.folder(), u"camera.cam"), text)) return;
  CameraRecord record;
  ParseCamera(text, record);
  SendCamera(session, record);
}

}  // namespace q9
