#include "runner/working_instance.h"

#include <filesystem>

#include "base/exchange_folder.h"
#include "base/platform.h"
#include "base/process_state.h"
#include "sync/requests.h"
#include "base/text.h"
#include "sync/model_sync.h"
#include "scene/scene_container.h"
#include "common/environment.h"

namespace q9x {

std::optional<uint32_t> WordMessage(const std::string& word) {
  if (const q9::CommandWord* entry = q9::FindCommandWord(std::string_view(word))) {
    return entry->message;
  }
  for (uint32_t message = q9::kSyncCameraMessage; message <= q9::kSyncViewsMessage; ++message) {
    if (word == std::to_string(message)) return message;
  }
  return std::nullopt;
}

bool RunWordAccepted(const std::string& word) {
  return q9::FindCommandWord(std::string_view(word)) != nullptr || WordMessage(word).has_value();
}

std::string RunWordsText() {
  std::string text;
  for (const q9::CommandWord& entry : q9::kCommandWords) text += std::string(entry.word) + ", ";
  return text + std::to_string(q9::kSyncCameraMessage) + " to " +
         std::to_string(q9::kSyncViewsMessage);
}

namespace {

// Sets a variable of the process for the life of the object, then puts the old value back.
class ScopedVariable {
 public:
  ScopedVariable(std::string name, const std::optional<std::string>& value)
      : name_(std::move(name)), old_(ProcessVariable(name_)), set_(value.has_value()) {
    if (set_) SetProcessVariable(name_, value);
  }
  ~ScopedVariable() {
    if (set_) SetProcessVariable(name_, old_);
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
  bool set_;
};

// A container this large makes its load worth a line on a terminal.
constexpr int64_t kLargeContainerBytes = 32 << 20;

// On a terminal, a large container's load says what it is at while it goes on.
void AnnounceLoad(const RunOptions& options, q9::ProcessState& process, const std::string& what,
                  const char16_t* file, std::ostream& err) {
  if (!options.progress) return;
  const int64_t size = q9::platform::FileSize(q9::FolderFilePath(process.folder(), file));
  if (size < kLargeContainerBytes) return;
  err << "q9x run: " << what << " (" << (size >> 20) << " MiB) ...\n" << std::flush;
}

// After the start-up load: the first word's request, then each further word's message.
Outcome<> HandleRequests(q9::SceneContainer& container, q9::ProcessState& process,
                         const RunOptions& options, std::ostream& out, std::ostream& err) {
  const q9::NotifyHost notifyHost = [&out] {
    out << "host notified: " << q9::kHostSyncStateMessage << " " << q9::kHostSyncStateWParam
        << " " << q9::kHostSyncStateLParam << "\n";
  };
  bool recordsWritten = true;
  // Every message goes through the shell's dispatcher. The model sync is the one request whose
  // failure run reports (a sync record not written); a record file that is missing makes a sync
  // that sends nothing, as in the working instance, and is in the log.
  const auto dispatch = [&](uint32_t message) {
    if (options.beforeRequest) options.beforeRequest(message);
    if (message == q9::kSyncModelUpdateMessage || message == q9::kSyncLightMessage) {
      AnnounceLoad(options, process, "applying _mod.sm", u"_mod.sm", err);
    }
    const std::optional<bool> done = q9::DispatchSyncMessage(container, message, notifyHost);
    if (options.afterRequest) options.afterRequest(message, done.value_or(false));
    if (message == q9::kSyncModelMessage && done == false) recordsWritten = false;
  };
  const std::optional<uint32_t> own = q9::RequestMessage(process.requestCode);
  if (own && options.firstWordRequest) dispatch(*own);
  for (size_t i = 1; i < options.words.size(); ++i) {
    if (const std::optional<uint32_t> message = WordMessage(options.words[i])) dispatch(*message);
  }
  if (recordsWritten) return Done{};
  return Failure{FailureKind::File,
                 "the sync record " +
                     q9::platform::DisplayPath(q9::FolderFilePath(process.folder(), u"_mod.sync")) +
                     " could not be written"};
}

}  // namespace

std::u16string DefaultLinkLibrary() {
  const std::u16string platformDefault = q9::platform::DefaultLinkLibraryPath();
  if (!platformDefault.empty()) return platformDefault;
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return u"libQ9Plugin.so";
  return q9::Utf16FromUtf8((program.parent_path() / "libQ9Plugin.so").string());
}

Outcome<> RunWorkingInstance(const RunOptions& options, std::ostream& out, std::ostream& err) {
  // The reference library reads its switches at every call.
  ScopedVariable archiveDir("Q9PLUGIN_ARCHIVE_DIR", options.archiveDir);
  q9::ProcessState process;
  if (options.folder) process.exchangeFolder.Fix(q9::Utf16FromUtf8(*options.folder));

  std::vector<std::u16string> words;
  for (const std::string& word : options.words) words.push_back(q9::Utf16FromUtf8(word));
  q9::ApplyCommandLine(process, words);

  // A console tool tells about a missing renderer in its failure, not in a message box.
  std::string shown;
  process.showErrorMessage = [&shown](const std::u16string& caption, const std::u16string& text) {
    shown = q9::Utf8FromUtf16(caption) + "\n" + q9::Utf8FromUtf16(text);
  };
  Outcome<> outcome = Done{};
  {
    q9::SceneContainer container(process);
    container.session.libraryPath =
        options.link ? q9::Utf16FromUtf8(*options.link) : DefaultLinkLibrary();
    // The hook may put the file in place, so the announcement measures it after.
    if (options.beforeRequest) options.beforeRequest(std::nullopt);
    AnnounceLoad(options, process, "start-up load of _model.pdx", u"_model.pdx", err);
    const bool loaded = q9::loadStartupModel(container);
    if (options.afterRequest) options.afterRequest(std::nullopt, loaded);
    if (!loaded) {
      outcome = Failure{FailureKind::RendererMissing,
                        shown.empty() ? "the start-up load found no renderer" : shown};
    } else {
      outcome = HandleRequests(container, process, options, out, err);
    }
  }  // the session is torn down here, as at the end of the process
  return outcome;
}

}  // namespace q9x
