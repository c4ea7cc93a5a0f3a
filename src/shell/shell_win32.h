// The Win32 edge of the program: the hidden message window, the working instance's message loop
// with its watchdog, and the forwarding of a later start's request. Everything a request asks
// for is done by the portable dispatcher (sync/requests.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "base/process_state.h"
#include "base/unique_handle_win32.h"
#include "scene/scene_container.h"

namespace q9::shell {

// How long a forwarding instance waits for the working instance's window, and how often it looks.
constexpr DWORD kForwardWaitMs = 5000;
constexpr DWORD kForwardPollMs = 10;

// One hidden top-level window whose messages go to a handler. A top-level window (not a
// message-only one) so that later starts find it by its class name.
class MessageWindow {
 public:
  // Handles one message; true when it is handled (the window procedure then returns 0), false to
  // leave it to the default window procedure.
  using Handler = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam)>;

  explicit MessageWindow(Handler handler);
  // Destroys the window if it still exists.
  ~MessageWindow() = default;
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  // Registers the class `className` (once per process: an existing registration is used) and
  // creates the hidden window. False when the class cannot be registered or the window cannot be
  // created; each writes an "Error: " line to `log`.
  bool Create(HINSTANCE instance, const wchar_t* className, const wchar_t* title, LogWriter& log);
  // Destroys the window now; its WM_DESTROY reaches the handler.
  void Destroy() { window_.reset(); }

  // Null before Create succeeds and once the window is destroyed.
  HWND hwnd() const { return window_.get(); }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  Handler handler_;
  UniqueWindow window_;
};

// Why the working instance's message loop ended.
enum class EndReason {
  None,
  NoHostWindow,        // the watchdog found no host window at all
  HostWindowGone,      // the host window closed, or its handle now names another window
  RendererWindowGone,  // no renderer window any more
  ExitCommand,         // WM_COMMAND 105
  WindowClosed,        // the message window was destroyed by someone else
};

// The log text of an end reason, e.g. "host window gone".
const char* EndReasonText(EndReason reason);

// The working instance around its scene container: dispatches the request messages, notifies the
// host, and runs the message loop until the watchdog or the exit command ends it.
class WorkingInstance {
 public:
  explicit WorkingInstance(SceneContainer& container);

  // The handler for the message window.
  bool HandleMessage(UINT message, WPARAM wParam);
  // Looks up the host window when none is held yet.
  void FindHostWindow();
  // Starts the watchdog on `window` and pumps messages until the quit message arrives or the
  // watchdog says to end. Returns why the loop ended.
  EndReason RunMessageLoop();

  MessageWindow& window() { return window_; }

 private:
  // Looks up the host window when none is held yet and posts it the sync-state message.
  void NotifyHostWindow();
  // None while the host window and a renderer window exist; otherwise why the loop must end.
  EndReason WatchdogCheck() const;

  SceneContainer& container_;
  HWND hostWindow_ = nullptr;  // the host's main window, looked up by class name and kept
  EndReason end_ = EndReason::None;
  MessageWindow window_;
};

// The forwarding instance: waits up to kForwardWaitMs for a window of class `className`, then
// posts it `message`. Stops waiting early once `mutex` (the working instance's, held open by this
// process) is free, because then no working instance is left. Writes an "Error: " line naming
// `word` and `message` when the request could not be forwarded.
void ForwardRequest(ProcessState& process, HANDLE mutex, const wchar_t* className,
                    const std::u16string& word, uint32_t message);

}  // namespace q9::shell
