// q9x's exit statuses, the same for every command. The troubleshooting guide's table of exit
// statuses says what each means to support; these are the values it names.
#pragma once

namespace q9x {

constexpr int kOk = 0;
constexpr int kFailed = 1;          // a file could not be read, written or understood;
                                    // doctor: a problem found
constexpr int kUsage = 2;           // the command line is wrong
constexpr int kRendererMissing = 3; // run, view, export: the start-up found no renderer
constexpr int kDamaged = 4;         // inspect: the container is damaged

}  // namespace q9x
