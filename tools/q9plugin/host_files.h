// What the reference link library needs from the system: the environment of the process and
// whole-file writes. Paths are UTF-16 texts as the caller spells them; the native build maps
// "\" to "/".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace q9plugin {

// The variable as the process holds it. On Windows this is the Win32 environment block, which
// every runtime of the process shares (the library has a runtime of its own, so changes a
// program makes through its runtime's _wputenv are not seen here; SetEnvironmentVariableW is).
// Empty when the variable is unset.
std::optional<std::u16string> ReadEnvironment(const char* name);

// Appends the bytes to the file (created when missing), flushed and closed before returning.
// Other processes may read the file meanwhile.
bool AppendToFile(const std::u16string& path, std::string_view bytes);

// Replaces the file's content atomically: the bytes go to a temporary file beside it, which is
// then renamed over it, so a reader sees the old file or the new one, never a part.
bool ReplaceWholeFile(const std::u16string& path, std::string_view bytes);

}  // namespace q9plugin
