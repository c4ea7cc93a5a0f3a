// Process-wide state of the application that the portable core reads.
#pragma once

#include <cstdint>

namespace q9 {

// The request named by the first command-line word.
enum class SyncRequest : int32_t {
  None = 0,
  CameraSync = 1,
  ModelSync = 2,
  LightSync = 3,
  ViewsSync = 4,
};

// The request of this process; set once from the command line.
extern SyncRequest requestCode;

// Set by the command word "colorMode" for the life of the process: material translation then
// uses colours and values instead of texture map files.
extern bool colorMode;

}  // namespace q9
