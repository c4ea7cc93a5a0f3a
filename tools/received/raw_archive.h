// The reference link library's raw archive: the received scene as a readable JSON document
// (tools/q9plugin/README.md shows it), written by the library and read back by q9x. The archive
// holds names, types, properties, matrices, triangle counts and cameras, never mesh arrays.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>

#include "base/platform.h"
#include "received/received_scene.h"

namespace q9x {

// Writes the archive of `scene` to `file` as it goes, never whole in memory: indented by two
// blanks a level, every array that holds no array or object on one line. False when a write
// failed, with the reason of the first in `error` (if given); the caller finishes the file.
bool WriteArchive(const ReceivedScene& scene, std::FILE* file,
                  q9::platform::FileError* error = nullptr);

// Reads up to `size` bytes into `into`; 0 at the end.
using ByteSource = std::function<size_t(char* into, size_t size)>;

// Reads an archive: one JSON object with "format". Each entry of its lists is read, put into the
// scene and dropped before the next, so that memory follows the scene, not the document. Nothing
// when the bytes are not such a document.
// Any bytes are safe; memory is the scene, one entry, and format, model and camera as given.
std::optional<ReceivedScene> ReadArchive(const ByteSource& source);

}  // namespace q9x
