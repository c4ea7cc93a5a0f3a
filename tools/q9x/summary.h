// The summary command: what reached the renderer, from the reference link library's raw archive
// or journal, read into the received scene.
#pragma once

#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "received_scene.h"

namespace q9x {

struct SummaryOptions {
  std::string file;
  bool asJson = false;
};

// Prints a summary of `text`, the content of a raw archive (one JSON document) or of a journal
// (one JSON call per line): the archive's scene; or each journal call with long arrays
// shortened, the number of calls of each function, then the scene they built. False, with a
// message naming the first line that could not be read, when it is neither.
bool PrintSummary(const std::string& text, std::ostream& out, std::ostream& err);

// The same content as one JSON document.
nlohmann::json SummaryJson(const ReadScene& read);

// 0 done; 1 the file could not be read or is neither an archive nor a journal.
int SummaryCommand(const SummaryOptions& options, std::ostream& out, std::ostream& err);

}  // namespace q9x
