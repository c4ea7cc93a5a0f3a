// q9x export: the received scene as a glTF 2.0 binary file (picture/gltf_writer.h). The command
// is declared in export.cpp beside its help.
#pragma once

#include <string>

#include "common/failure.h"
#include "received/received_scene.h"

namespace q9x {

// Writes `scene` to the file `output` as `q9x export` does: streamed to "OUTPUT.part", renamed
// to OUTPUT when every byte is written, so that a failure (of kind File, naming the file) leaves
// no partial file and an earlier OUTPUT as it was.
Outcome<> WriteGlbFile(const ReceivedScene& scene, const std::string& output);

}  // namespace q9x
