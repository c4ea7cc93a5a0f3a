// Camera sync: the renderer's camera follows "camera.cam".
#pragma once

#include "link/link_session.h"

namespace q9 {

// Reads "camera.cam" from the exchange folder and sends it with SendCameraTransformFov; a
// missing file sends nothing.
void SyncCamera(LinkSession& session);

}  // namespace q9
