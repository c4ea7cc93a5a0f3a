// Checks a pack description before anything is written: every key known, every value of the
// type and range its field takes. Layout values that place or size bytes ("offset", "at",
// "truncate", "padding", "entry") lie in 0..2^31-1; values written into the file as they are
// given (overrides for damaged files, ids, raw words) may be any 32-bit value, signed or not.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace q9x {

// The first problem found, as "PATH: what is wrong" (e.g. "entries[0].offset: -100 is below 0"),
// or none.
std::optional<std::string> CheckDescription(const nlohmann::json& description);

// Parses the description's text. On a syntax error, none, and `error` says
// "line L, column C: what was expected".
std::optional<nlohmann::json> ParseDescription(const std::string& text, std::string& error);

}  // namespace q9x
