// The summary command: what reached the renderer, from the reference link library's raw archive
// or journal.
#pragma once

#include <ostream>
#include <string>

namespace q9x {

// Prints a summary of `text`, the content of a raw archive (one JSON document) or of a journal
// (one JSON call per line). False, with a message on `err`, when it is neither.
bool PrintSummary(const std::string& text, std::ostream& out, std::ostream& err);

}  // namespace q9x
