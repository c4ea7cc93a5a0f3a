// A journal's calls shown as `summary` shows them: the function, then its arguments with long
// arrays shortened and its result, laid out as a JSON library dumps such values.
#pragma once

#include <string>

#include "base/json_writer.h"
#include "received/journal_decoder.h"

namespace q9x {

// Appends "fn [args] -> ret" and a line feed ("fn [args]" without a result): the arguments as
// one compact JSON array, in which (at any depth of arrays) an array of more than six values
// is the text "[N values]"; the result in full.
void AppendCallLine(std::string& out, const JournalCall& call);

// Writes the call as one object {"args", "fn", "ret"} (no "ret" without a result), shortened
// as above. `out` under q9::JsonDumpOptions(true) gives the text of `summary --json`.
void WriteCallJson(q9::JsonWriter& out, const JournalCall& call);

}  // namespace q9x
