#include "sync/requests.h"

#include "sync/camera_sync.h"
#include "sync/views_sync.h"

namespace q9 {

std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine) {
  std::vector<std::u16string> words;
  size_t position = 0;
  while (position < commandLine.size()) {
    const size_t space = commandLine.find(u' ', position);
    const size_t end = space == std::u16string_view::npos ? commandLine.size() : space;
    words.emplace_back(commandLine.substr(position, end - position));
    position = end + 1;
  }
  return words;
}

void ApplyCommandLine(ProcessState& process, const std::vector<std::u16string>& words) {
  if (words.empty()) return;
  const std::u16string& word = words.front();
  if (word == u"cameraSync") {
    process.requestCode = SyncRequest::CameraSync;
  } else if (word == u"ModelSync") {
    process.requestCode = SyncRequest::ModelSync;
  } else if (word == u"lightSync") {
    process.requestCode = SyncRequest::LightSync;
  } else if (word == u"viewsSync") {
    process.requestCode = SyncRequest::ViewsSync;
  } else if (word == u"colorMode") {
    process.colorMode = true;
  }
  process.log.WriteLine("Args - ");
  process.log.WriteLineW(word);
}

std::optional<uint32_t> RequestMessage(SyncRequest request) {
  switch (request) {
    case SyncRequest::CameraSync:
      return kSyncCameraMessage;
    case SyncRequest::ModelSync:
      return kSyncModelMessage;
    case SyncRequest::LightSync:
      return kSyncLightMessage;
    case SyncRequest::ViewsSync:
      return kSyncViewsMessage;
    case SyncRequest::None:
      break;
  }
  return std::nullopt;
}

std::optional<bool> DispatchSyncMessage(SceneContainer& container, uint32_t message,
                                        const NotifyHost& notifyHost) {
  // Each request may wait for files in use by other processes for the whole bound again.
  container.process.fileInUseWait.Renew();
  switch (message) {
    case kSyncCameraMessage:
      return SyncCamera(container.session, container.process);
    case kSyncModelMessage:
      return modelSyncNotify(container, notifyHost);
    case kSyncModelUpdateMessage:
      modelSyncApply(container, true);
      return true;
    case kSyncLightMessage:
      modelSyncApply(container, false);
      return true;
    case kSyncViewsMessage:
      return SyncViews(container);
    default:
      return std::nullopt;
  }
}

}  // namespace q9
