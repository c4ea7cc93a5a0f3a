// q9x: the integrators' and support tool for scene containers and the working instance. The
// entry points of both builds call Main; nothing else includes this header.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace q9x {

// Runs the tool with `args` (the words after the program name, UTF-8); the exit status
// (exit_status.h).
int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace q9x
