// What each step of a replay did and changed: "steps.json" in the output folder, and one line a
// step for people. The changes are the received scene before and after the step compared
// (received/scene_diff.h): the state after step N is the journal's calls with step at most N,
// each state built once as the journal is read through a single time.
//
// steps.json, one document: "format" 1, "source" ("recording" or "log"), "from" (the session's
// folder or the log), "session", "approximate", "notes", "journal", "replayMs", and "steps", each
// with "step", "request", "message" (null: the start-up load), "word", "time" (UTC: the step's
// start from the recording, the time stamp of the log's line otherwise), "customer" and "replay"
// (each "outcome" and "totalMs", "filesMs", "linkMs", null where not known), "files" (each
// "bytes", "name": StepRun::files), "syncRecordSame" (a model sync: the replay wrote the customer's bytes; null
// when not known) and "changes" (the comparison's document as `q9x diff --json` gives it, at
// most kListedChanges differences of a subject and kind; null when no journal was written).
#pragma once

#include <cstddef>
#include <ostream>

#include "common/failure.h"
#include "replay/replay.h"

namespace q9x {

inline constexpr size_t kListedChanges = 20;

// Writes OUTPUT/steps.json and a line a step to `out`. Failures: steps.json cannot be written;
// the journal cannot be read (a link library other than the reference one writes none), after
// steps.json is written without changes.
Outcome<> WriteStepReport(const ReplayRun& replay, std::ostream& out);

}  // namespace q9x
