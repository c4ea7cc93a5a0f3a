// q9x summary: what reached the renderer, from the reference link library's raw archive or
// journal, read into the received scene.
#pragma once

#include <nlohmann/json.hpp>

#include "received/received_scene.h"

namespace q9x {

// What `summary --json` prints: for an archive its scene; for a journal each call with long
// arrays shortened, the number of calls of each function, then the scene they built.
nlohmann::json SummaryJson(const ReadScene& read);

}  // namespace q9x
