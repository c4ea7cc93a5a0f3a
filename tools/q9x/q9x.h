// q9x: the integrators' and support tool for scene containers and the working instance.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace q9x {

// Exit statuses.
constexpr int kOk = 0;
constexpr int kFailed = 1;          // a file could not be read, written or understood;
                                    // doctor: a problem found
constexpr int kUsage = 2;           // the command line is wrong
constexpr int kRendererMissing = 3; // run: the start-up found no renderer
constexpr int kDamaged = 4;         // inspect: the container is damaged

// Runs the tool with `args` (the words after the program name, UTF-8).
int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace q9x
