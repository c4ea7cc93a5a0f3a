#include "run.h"

#include <filesystem>

#include "base/exchange_folder.h"
#include "base/platform.h"
#include "base/process_state.h"
#include "sync/requests.h"
#include "base/text.h"
#include "sync/model_sync.h"
#include "scene/scene_container.h"

namespace q9x {

std::optional<uint32_t> WordMessage(const std::string& word) {
  if (word == "cameraSync") return q9::kSyncCameraMessage;
  if (word == "ModelSync") return q9::kSyncModelMessage;
  if (word == "lightSync") return q9::kSyncLightMessage;
  if (word == "viewsSync") return q9::kSyncViewsMessage;
  for (uint32_t message = q9::kSyncCameraMessage; message <= q9::kSyncViewsMessage; ++message) {
    if (word == std::to_string(message)) return message;
  }
  return std::nullopt;
}

std::u16string DefaultLinkLibrary() {
  const std::u16string platformDefault = q9::platform::DefaultLinkLibraryPath();
  if (!platformDefault.empty()) return platformDefault;
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return u"libQ9Plugin.so";
  return q9::Utf16FromUtf8((program.parent_path() / "libQ9Plugin.so").string());
}

int RunWorkingInstance(const RunOptions& options, std::ostream& out, std::ostream& err) {
  q9::ProcessState process;
  if (options.folder) process.exchangeFolder.Fix(q9::Utf16FromUtf8(*options.folder));

  std::vector<std::u16string> words;
  for (const std::string& word : options.words) words.push_back(q9::Utf16FromUtf8(word));
  q9::ApplyCommandLine(process, words);

  // A console tool tells about a missing renderer on standard error, not in a message box.
  process.showErrorMessage = [&err](const std::u16string& caption, const std::u16string& text) {
    err << q9::Utf8FromUtf16(caption) << "\n" << q9::Utf8FromUtf16(text) << "\n";
  };
  int status = 0;
  {
    q9::SceneContainer container(process);
    container.session.libraryPath =
        options.link ? q9::Utf16FromUtf8(*options.link) : DefaultLinkLibrary();
    const q9::NotifyHost notifyHost = [&out] {
      out << "host notified: " << q9::kHostSyncStateMessage << " " << q9::kHostSyncStateWParam
          << " " << q9::kHostSyncStateLParam << "\n";
    };
    if (!q9::loadStartupModel(container)) {
      status = 3;
    } else {
      if (const std::optional<uint32_t> own = q9::RequestMessage(process.requestCode)) {
        q9::DispatchSyncMessage(container, *own, notifyHost);
      }
      for (size_t i = 1; i < options.words.size(); ++i) {
        if (const std::optional<uint32_t> message = WordMessage(options.words[i])) {
          q9::DispatchSyncMessage(container, *message, notifyHost);
        }
      }
    }
  }  // the session is torn down here, as at the end of the process
  return status;
}

}  // namespace q9x
