// q9x summary: what reached the renderer, from the reference link library's raw archive or
// journal, read into the received scene (received/scene_reader.h). The command is declared in
// summary.cpp beside its help.
#pragma once

#include <ostream>
#include <string>

namespace q9x {

// Prints to `out` what `q9x summary FILE` prints of the journal or raw archive `file`; what it
// says on standard error goes to `err`. The exit status `q9x summary` gives.
int PrintSummary(const std::string& file, std::ostream& out, std::ostream& err);

}  // namespace q9x
