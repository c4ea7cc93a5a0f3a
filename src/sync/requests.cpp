#include "sync/requests.h"

#include <algorithm>

#include "sync/camera_sync.h"
#include "sync/request_report.h"
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

const CommandWord* FindCommandWord(std::u16string_view word) {
  for (const CommandWord& entry : kCommandWords) {
    if (std::equal(word.begin(), word.end(), entry.word.begin(), entry.word.end(),
                   [](char16_t unit, char ascii) { return unit == static_cast<char16_t>(ascii); })) {
      return &entry;
    }
  }
  return nullptr;
}

const CommandWord* FindCommandWord(std::string_view word) {
  for (const CommandWord& entry : kCommandWords) {
    if (entry.word == word) return &entry;
  }
  return nullptr;
}

void ApplyCommandLine(ProcessState& process, const std::vector<std::u16string>& words) {
  if (words.empty()) return;
  const std::u16string& word = words.front();
  if (const CommandWord* entry = FindCommandWord(std::u16string_view(word))) {
    if (entry->request == SyncRequest::None) {
      process.colorMode = true;
    } else {
      process.requestCode = entry->request;
    }
  }
  process.log.WriteLine("Args - ");
  process.log.WriteLineW(word);
}

std::optional<uint32_t> RequestMessage(SyncRequest request) {
  if (request == SyncRequest::None) return std::nullopt;
  for (const CommandWord& entry : kCommandWords) {
    if (entry.request == request) return entry.message;
  }
  return std::nullopt;
}

namespace {

bool RunSync(SceneContainer& container, uint32_t message, const NotifyHost& notifyHost) {
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
      return false;
  }
}

}  // namespace

std::optional<bool> DispatchSyncMessage(SceneContainer& container, uint32_t message,
                                        const NotifyHost& notifyHost) {
  if (message < kSyncCameraMessage || message > kSyncViewsMessage) return std::nullopt;
  // Each request may wait for files in use by other processes for the whole bound again.
  container.process.fileInUseWait.Renew();
  RequestReport report(container.process, message);
  const bool done = RunSync(container, message, notifyHost);
  report.Finish(done);
  return done;
}

}  // namespace q9
