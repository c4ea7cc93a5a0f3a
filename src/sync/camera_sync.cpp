#include "sync/camera_sync.h"

#include "records/record_reader.h"
#include "sync/record_files.h"
#include "translate/camera_translation.h"

namespace q9 {

bool SyncCamera(LinkSession& session, ProcessState& process) {
  std::u16string text;
  if (!ReadHostRecordFile(process, u"camera.cam", text)) return false;
  CameraRecord record;
  ParseCamera(text, record);
  SendCamera(session, record);
  return true;
}

}  // namespace q9
