// Requests: the command line of a start, the messages that carry requests to the working
// instance, and the portable side of handling them. The Win32 shell and `q9x run` share this.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/process_state.h"
#include "sync/model_sync.h"

namespace q9 {

// Window messages (WM_USER = 1024).
constexpr uint32_t kSyncCameraMessage = 1025;       // "cameraSync"
constexpr uint32_t kSyncModelMessage = 1026;        // "ModelSync"
constexpr uint32_t kSyncModelUpdateMessage = 1027;  // from any sender, never posted here
constexpr uint32_t kSyncLightMessage = 1028;        // "lightSync"
constexpr uint32_t kSyncViewsMessage = 1029;        // "viewsSync"
constexpr uint32_t kHostSyncStateMessage = 1137;    // to the host: wParam 0, lParam 10
constexpr uintptr_t kHostSyncStateWParam = 0;
constexpr intptr_t kHostSyncStateLParam = 10;
constexpr uint32_t kExitCommand = 105;      // WM_COMMAND id that ends the process
constexpr uintptr_t kWatchdogTimer = 101;   // one-second watchdog
constexpr uint32_t kWatchdogPeriodMs = 1000;

// A word the host may start the program with, compared exactly, and what it asks for.
struct CommandWord {
  std::string_view word;
  // The request it names, carried to the working instance by `message`; None for "colorMode",
  // which sets the colour mode of the process it starts and carries no message.
  SyncRequest request;
  std::optional<uint32_t> message;
};

inline constexpr CommandWord kCommandWords[] = {
    {"cameraSync", SyncRequest::CameraSync, kSyncCameraMessage},
    {"ModelSync", SyncRequest::ModelSync, kSyncModelMessage},
    {"lightSync", SyncRequest::LightSync, kSyncLightMessage},
    {"viewsSync", SyncRequest::ViewsSync, kSyncViewsMessage},
    {"colorMode", SyncRequest::None, std::nullopt},
};

// The entry of the command word `word` (compared exactly, case included); null when it is none.
const CommandWord* FindCommandWord(std::u16string_view word);
const CommandWord* FindCommandWord(std::string_view word);

// Cuts a command line into words at every space (U+0020) and nothing else: two spaces give an
// empty word between them, a leading space an empty first word, an empty line no words.
std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine);

// Examines the first word: logs "Args - " and the word (when there is one), and sets
// the process's `requestCode` or `colorMode` when it is one of the command words, compared
// exactly.
void ApplyCommandLine(ProcessState& process, const std::vector<std::u16string>& words);

// The message that carries a request; none for SyncRequest::None.
std::optional<uint32_t> RequestMessage(SyncRequest request);

// Runs the sync of one of the five request messages to completion; each message renews the
// process's wait for files in use. Nothing (which tests false) when `message` is not one of
// them; otherwise whether the sync was done: false when a file it needed could not be read
// ("camera.cam", "Views.cam") or written ("_mod.sync"), as its log line says.
std::optional<bool> DispatchSyncMessage(SceneContainer& container, uint32_t message,
                                        const NotifyHost& notifyHost);

}  // namespace q9
