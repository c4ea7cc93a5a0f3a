// Camera sync: the renderer's camera follows "camera.cam".
#pragma once

#include "base/process_state.h"
#include "link/link_session.h"

namespace q9 {

// Reads "camera.cam" from the exchange folder, parses it with ParseCamera into a record that
// starts at zero and sends it with SendCamera (fov = _fov x 1.5). A file that cannot be read
// sends nothing, is logged, and gives false.
bool SyncCamera(LinkSession& session, ProcessState& process);

}  // namespace q9
