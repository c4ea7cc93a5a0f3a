// A replay: the requests of a customer's working session run again, through the same dispatcher
// as `q9x run`, on a copy of the exchange files, with the reference link library's journal giving
// every call the step at which it came. The folder replayed is an unpacked support bundle or a
// copy of an exchange folder: the exchange files, perhaps "recording/" (docs/recording.md) and
// the log. Nothing outside the output folder is written.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "common/failure.h"
#include "replay/replay_plan.h"

namespace q9x {

// What a bundle unpacks to, at most, unless --max-size says otherwise.
constexpr uint64_t kDefaultUnpackBytes = uint64_t{16} << 30;

struct ReplayOptions {
  std::string folder;               // the folder replayed, or a bundle (a ZIP file) to unpack
  std::string output;               // the output folder (made when missing)
  std::optional<std::string> link;  // the link library; else the reference library beside q9x
  // The log; else "Q9_Log.log" in the folder, else the exchange folder's own log beside it (the
  // folder's text followed by "Q9_Log.log").
  std::optional<std::string> log;
  std::optional<uint32_t> session;  // the recording's session, 1 = the oldest; else the newest
  uint64_t maxUnpackBytes = kDefaultUnpackBytes;  // a bundle's members, unpacked
};

// What the replay did at one step of its plan.
struct StepRun {
  bool ran = false;   // the dispatcher was given the step
  bool done = false;  // and it did its work
  std::optional<RequestDurations> durations;  // the replay's own, from its log's timed line
  // What each file of the step held when its request read it, by name: "kept" (the recorded
  // copy put in place), "unchanged" (not kept, but the file as it is has the SHA-256 the request
  // read), "as it is" (not kept, not known to be the same), "missing" (the request found none, so
  // the replay's copy was removed); the model sync's written record is not listed.
  std::vector<std::pair<std::string, std::string>> files;
  // A model sync whose written record was kept: whether the replay wrote the same bytes.
  std::optional<bool> syncRecordSame;
  // "done", "failed" or "not run", as the customer's outcome is spelled.
  std::string OutcomeText() const { return !ran ? "not run" : done ? "done" : "failed"; }
};

struct ReplayRun {
  ReplayPlan plan;
  std::vector<StepRun> runs;  // one per step of the plan
  std::string folder;         // the folder replayed: the one given, or OUTPUT/bundle
  std::string output;         // the output folder
  std::string exchange;       // its "folder": the exchange files as the replay left them
  std::string journal;        // its "journal.jsonl"
  std::string log;            // the log the plan came from, when it came from one
  int64_t replayMs = 0;       // the whole run, start-up to teardown
};

// Replays `options.folder` into `options.output`: copies the exchange files ("_model.pdx",
// "_mod.sm", "camera.cam", "Views.cam", "_mod.sync", "Textures", "IES"; never the recording
// switch) into OUTPUT/folder, then runs each step of the plan (a recorded session, else the
// log's last working session, PlanFromRecording and PlanFromLog), putting the step's kept files
// in place before it and removing those the step found missing. The journal goes to
// OUTPUT/journal.jsonl with Q9PLUGIN_STEP set to each step's number, the raw archive to OUTPUT,
// the replay's own log to OUTPUT/folder/Q9_Log.log. A step whose bytes were not kept, and every
// note of the plan, are named on `err`.
// A bundle (a ZIP file in place of the folder) is first unpacked into OUTPUT/bundle, checked as
// bundle_reader.h says; the members it passes over and those its manifest lists but it lacks
// are named on `err`.
// An output folder that holds anything but an earlier replay is refused. Failures: File (the
// folder, the log, a recording session asked for, the output folder), Unsafe (the bundle was
// refused), RendererMissing (the start-up load found no renderer). A request that fails is a
// step's outcome, not a failure.
Outcome<ReplayRun> ReplayFolder(const ReplayOptions& options, std::ostream& err);

}  // namespace q9x
