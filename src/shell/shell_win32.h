// The Win32 edge of the working instance: the hidden message window, its message loop with the
// watchdog, and the process-wide handles. Everything a message asks for is done by the portable
// dispatcher (app/requests.h).
#pragma once

#include <windows.h>

#include "scene/scene_container.h"

namespace q9::shell {

// Process-wide handles of the application.
extern HWND ownWindow;   // the hidden message window
extern HWND hostWindow;  // the host's main window, looked up by class name and kept
extern wchar_t windowTitle[100];
extern wchar_t windowClassName[100];

// The host's and the renderer's main window classes.
constexpr char kHostWindowClass[] = "Plandora_class";
constexpr char kRendererWindowClass[] = "Qt5152QWindowIcon";

// Registers the window class and creates the hidden message window whose messages go to
// `container`; sets and returns `ownWindow` (null when the window cannot be created).
HWND CreateMessageWindow(HINSTANCE instance, SceneContainer& container);

// Looks up the host window when none is held yet and posts it the sync-state message.
void NotifyHostWindow();

// Starts the watchdog and pumps messages until the quit message arrives or the watchdog finds
// the host window or the renderer window gone.
void RunMessageLoop();

// True when the loop must end: no host window was found, the host window is gone or its
// handle now belongs to another class, or no renderer window exists.
bool WatchdogSaysEnd();

}  // namespace q9::shell
