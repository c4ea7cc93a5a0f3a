// Files for the q9x tool: whole-file reads and writes through the platform layer, and paths
// given relative to a description file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace q9x {

// The whole file, or nothing when it cannot be read. `path` is UTF-8 as given on the command
// line or in a description.
std::optional<std::string> ReadWholeFile(const std::string& path);
// True when `path` names a folder.
bool IsFolder(const std::string& path);
// Replaces the file's content. False when it cannot be written.
bool WriteWholeFile(const std::string& path, std::string_view bytes);

// The folder part of a path (up to its last "/" or "\"), empty when it has none.
std::string FolderOf(const std::string& path);
// `path` as seen from `folder`: unchanged when it is absolute or the folder is empty.
std::string ResolvePath(const std::string& folder, const std::string& path);

}  // namespace q9x
