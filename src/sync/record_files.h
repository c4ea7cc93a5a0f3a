// Reading the host's record files ("camera.cam", "Views.cam") with a log line for each failure.
#pragma once

#include <string>
#include <string_view>

#include "base/process_state.h"

namespace q9 {

// Reads the record file `fileName` of the exchange folder as ReadRecordFile does, waiting for a
// file that another process holds as the process's fileInUseWait allows. A file that cannot be
// read gives an "Error: " line with the reason (missing, in use, or the system's reason) and
// false; an empty file gives a "Warning: " line and true (its empty text is used as it is).
bool ReadHostRecordFile(ProcessState& process, std::u16string_view fileName, std::u16string& text);

}  // namespace q9
