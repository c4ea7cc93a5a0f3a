// JSON strings as the journal's and the raw archive's writers spell them.
#pragma once

#include <string>
#include <string_view>

namespace q9x {

// Appends `text` (UTF-8) escaped as a JSON writer escapes it, without the quotes: `"`, `\` and
// the control characters with their short escapes where JSON has one, other control characters
// as \u00XX, everything else (non-ASCII included) as it is.
void AppendJsonEscaped(std::string& out, std::string_view text);

}  // namespace q9x
