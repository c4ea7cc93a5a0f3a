// The received scene as a glTF 2.0 binary file.
#pragma once

#include <string>

#include "received/received_scene.h"

namespace q9x {

// The scene as a .glb file's bytes. Under a root node "Received scene" (which turns the host's
// Z-up axes into glTF's Y-up ones): one node per renderer node with its matrix and one mesh of
// one primitive per renderer mesh (positions; normals as sent, else of the triangles; texture
// coordinates where sent), materials as base colours with their diffuse map as an image by URI,
// a camera node for the current camera and one for each scene with a camera, and the lights
// through KHR_lights_punctual. Triangles with a coordinate that is not finite are left out.
std::string ExportGlb(const ReceivedScene& scene);

// The aspect ratio the exported cameras are given; the renderer's field of view is their
// horizontal angle.
constexpr double kExportAspect = 16.0 / 9.0;

}  // namespace q9x
