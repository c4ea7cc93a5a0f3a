// q9x's exit statuses, the same for every command. The troubleshooting guide's table of exit
// statuses says what each means to support; these are the values it names.
#pragma once

#include "common/failure.h"

namespace q9x {

constexpr int kOk = 0;
constexpr int kFailed = 1;          // a file could not be read, written or understood;
                                    // doctor: a problem found
constexpr int kUsage = 2;           // the command line is wrong
constexpr int kRendererMissing = 3; // run, view, export: the start-up found no renderer
constexpr int kDamaged = 4;         // inspect: the container is damaged
constexpr int kNothingToShow = 5;   // view, export: the scene holds nothing to draw (the file is
                                    // written all the same)
constexpr int kScenesDiffer = 6;    // diff: the two scenes differ
constexpr int kRefused = 7;         // bundle: the bundle was refused (beyond --max-size, or an
                                    // original name left after --anonymise); nothing kept
constexpr int kReplayDiffers = 8;   // replay: a step's outcome differs from the customer's
constexpr int kBundleUnsafe = 9;    // replay: the bundle was refused (an unsafe name, a size
                                    // beyond the archive or the limit, damage); nothing of it kept

// The status of a command that stopped on `kind`.
constexpr int ExitStatus(FailureKind kind) {
  switch (kind) {
    case FailureKind::File: return kFailed;
    case FailureKind::RendererMissing: return kRendererMissing;
    case FailureKind::NothingToShow: return kNothingToShow;
    case FailureKind::Refused: return kRefused;
    case FailureKind::Unsafe: return kBundleUnsafe;
  }
  return kFailed;
}

}  // namespace q9x
