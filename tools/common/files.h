// Files for the q9x tool: whole-file reads and writes through the platform layer, and paths
// given relative to a description file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/failure.h"

namespace q9x {

// The whole file at `path` (UTF-8, as given on the command line or in a description), which may
// hold at most `limit` bytes: a file of known length beyond it is refused before anything is
// allocated or read, and no more than `limit` bytes are ever held (a pipe, a file that grows).
// Failures, of kind File: "cannot read PATH" (missing, a folder, a read error), or "PATH: N
// bytes, more than WHAT (LIMIT)", where `what` names the bound ("the container may have").
Outcome<std::string> ReadWholeFile(const std::string& path, uint64_t limit, std::string_view what);
// True when `path` names a folder.
bool IsFolder(const std::string& path);
// Replaces the file's content. False when it cannot be written.
bool WriteWholeFile(const std::string& path, std::string_view bytes);

// The folder part of a path (up to its last "/" or "\"), empty when it has none.
std::string FolderOf(const std::string& path);
// `path` as seen from `folder`: unchanged when it is absolute or the folder is empty.
std::string ResolvePath(const std::string& folder, const std::string& path);

}  // namespace q9x
