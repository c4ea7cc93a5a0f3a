#include "app/process_state.h"

namespace q9 {

SyncRequest requestCode = SyncRequest::None;
bool colorMode = false;

}  // namespace q9
