// A journal's call applied to the received scene: the change the reference library made to its
// session's scene when the call reached it (tools/q9plugin/q9plugin.cpp, namespace effect).
#pragma once

#include "received/journal_decoder.h"
#include "received/received_scene.h"

namespace q9x {

// Applies `call` to `scene`; a call whose arguments are not of the types its function takes
// changes what those arguments allow (a missing name: nothing). With `holdMeshes`,
// MaxAddTriangles keeps array 1 as positions: whole triangles only, never more than the count
// names nor more than the array holds. With `printMeshes`, it gives the mesh the PositionsPrint
// of those same words instead of (or beside) holding them.
void ApplyCall(ReceivedScene& scene, const JournalCall& call, bool holdMeshes, bool printMeshes = false);

}  // namespace q9x
