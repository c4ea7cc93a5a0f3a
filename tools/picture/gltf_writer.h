// The received scene as a glTF 2.0 binary file.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "received/received_scene.h"

namespace q9x {

// Takes a file's bytes in order; false when it cannot, which ends the writing.
using GlbSink = std::function<bool(std::string_view bytes)>;

// Writes the scene as a .glb file to `sink`. Under a root node "Received scene" (which turns the
// host's Z-up axes into glTF's Y-up ones): one node per renderer node with its matrix and one
// mesh of one primitive per renderer mesh (positions; normals as sent, else of the triangles;
// texture coordinates where sent), materials as base colours, a camera node for the current
// camera and one for each scene with a camera, and the lights through KHR_lights_punctual.
// Triangles with a coordinate that is not finite are left out. The file names no image: a
// journal carries no texture coordinates, so every map file a material was sent goes into that
// material's "extras", under the map property's name ("Diffuse Map": "C:\...\oak.png").
//
// Memory stays near the file's JSON text (held, as its length comes first in the file): the
// binary chunk goes from the scene's arrays to the sink in pieces of at most 1 MB. False, with
// the reason on `error`, when the file would be larger than a .glb can be (4 GiB; nothing is
// written then) or the sink refuses bytes (then it has taken part of the file).
bool WriteGlb(const ReceivedScene& scene, const GlbSink& sink, std::string& error);

// The same file as bytes (empty when it cannot be written).
std::string ExportGlb(const ReceivedScene& scene);

// The aspect ratio the exported cameras are given; the renderer's field of view is their
// horizontal angle.
constexpr double kExportAspect = 16.0 / 9.0;

}  // namespace q9x
