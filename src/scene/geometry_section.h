// The geometry section reader: materials, lights, solids with their meshes, and views, each sent
// to the renderer right after it is read.
#pragma once

#include <cstdint>
#include <string>

#include "scene/scene_container.h"

namespace q9 {

// Reads the geometry section at absolute offset `base` of the container's open file.
void readGeometrySection(SceneContainer& container, int64_t base);

// "Solid_" + signed decimal id; calls MaxBeginNode with it and returns it.
std::u16string beginSolidNode(LinkSession& session, int32_t solidId);

}  // namespace q9
