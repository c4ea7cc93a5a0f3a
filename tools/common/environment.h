// What differs for the q9x tool between Windows and the native build, beyond the core's platform
// seam: the process environment the link library reads, whether standard error is a terminal,
// and the windows of a running host and renderer.
#pragma once

#include <optional>
#include <string>

namespace q9x {

// Sets (or, with nullopt, removes) a variable of this process where a loaded library reads it:
// the Win32 environment block on Windows, the C environment natively.
void SetProcessVariable(const std::string& name, const std::optional<std::string>& value);
// The variable's value, or none.
std::optional<std::string> ProcessVariable(const std::string& name);

// The name this machine goes by on its network (UTF-8); empty when the system does not say.
std::string HostName();

// Where a recording is kept unless `q9x record start --to` says otherwise: under the local (not
// roaming) application data folder, "%LOCALAPPDATA%\Q9_Exchange\Recording" on Windows;
// "$XDG_STATE_HOME/q9_exchange/recording", else "~/.local/state/q9_exchange/recording", natively.
// Empty when neither variable is set.
std::string DefaultRecordingFolder();

// True when standard error is a terminal (a console), so progress may be shown there.
bool ErrorIsTerminal();

// True when a top-level window of the class exists. False always on the native build.
bool WindowClassFound(const char* windowClass);
// True on the build where windows can be looked for.
constexpr bool kHasWindows =
#ifdef _WIN32
    true;
#else
    false;
#endif

}  // namespace q9x
