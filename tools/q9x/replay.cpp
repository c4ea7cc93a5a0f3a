// q9x replay: a customer's working session run again from a recording (or, approximately, from
// the log), step by step, with what each step did and changed.
#include <fstream>
#include <memory>

#include "common/byte_size.h"
#include "q9x/command.h"
#include "q9x/exit_status.h"
#include "q9x/export.h"
#include "q9x/summary.h"
#include "q9x/view.h"
#include "received/scene_reader.h"
#include "replay/replay.h"
#include "replay/report_page.h"
#include "replay/step_report.h"

namespace q9x {

namespace replay_command {

constexpr const char* kHelp = R"(usage: q9x replay BUNDLE.zip|FOLDER [-o OUTDIR] [--link LIB] [--session N] [--log FILE]
                  [--pictures] [--max-size SIZE]

Runs a customer's working session again, through the same dispatcher as "q9x run", on a copy of
its exchange files. BUNDLE.zip is a support bundle ("q9x bundle"): it is checked whole before a
byte of it is written (no member may write outside OUTDIR/bundle, be a link, or hold more than
the archive and --max-size allow), then only the members a bundle holds that its manifest lists
are unpacked into OUTDIR/bundle, each checked against the manifest's SHA-256. FOLDER is an
unpacked bundle or a copy of an exchange folder: the exchange files, and perhaps "recording/" (a
recording's sessions, see docs/recording.md) and the log ("Q9_Log.log" in FOLDER, or the exchange
folder's own log beside it, or --log FILE).
  - With a recording: each recorded step of the last session (or of session N, 1 = the oldest)
    in order, each step's kept files put in place before its request, so that the replay reads
    the bytes the customer's program read. A step whose bytes were not kept is named on standard
    error and replayed against the files as they are.
  - Without one: the requests of the log's last working session, against the files as they are.
    Such a replay is approximate (the host overwrites the files at every request), and says so.
Writes into OUTDIR (default FOLDER-replay, or BUNDLE-replay; it must be new, empty or an earlier
replay's):
  bundle/         the bundle's members, as unpacked (a bundle only)
  folder/         the exchange files as the replay left them, with the replay's own log
  journal.jsonl   every call the renderer received, each line with "step": N
  steps.json      each step: request, outcome and durations, the customer's and the replay's, the
                  files put in place, and what it changed in the received scene
  summary.txt     what "q9x summary" prints of the journal
  view.png        the final scene as "q9x view" draws it (--pictures: view-0003.png after each step)
  scene.glb       the final scene as "q9x export" writes it
  report.html     one page for any browser: the bundle's facts, the final picture, a timeline of
                  the session, the steps with what each changed, the doctor's findings, the
                  summary
Each step's line on standard output gives both outcomes and what the step changed; "q9x diff
OUTDIR@2 OUTDIR@3" shows the changes of step 3 in full.

--link LIB     the link library; otherwise the reference library beside q9x (only it writes the
               journal)
--session N    the recording's session N, 1 = the oldest; otherwise the newest
--log FILE     the log, when the folder holds no recording
--pictures     a picture of the scene after each step
--max-size SIZE
               the most a bundle may unpack to (K, M, G, T: powers of 1024); 16G unless given

Exit status 0 done, 1 a file could not be read or written, 2 a wrong command line, 3 the
renderer is missing, 8 a step's outcome differs from the customer's (the output names it), 9 the
bundle was refused (standard error names the member and why); nothing of it is kept.

example:
  q9x replay customer-bundle.zip -o replay --pictures
)";

struct ReplayCommandOptions {
  ReplayOptions replay;
  bool pictures = false;
};

// "view-0003.png".
std::string PictureName(uint64_t step) {
  std::string number = std::to_string(step);
  if (number.size() < 4) number.insert(0, 4 - number.size(), '0');
  return "view-" + number + ".png";
}

// One more read of the journal, holding the triangles: the pictures (after each step with
// --pictures), then the final scene's picture and glTF file. A scene with nothing to draw is
// said on standard error and is no failure of the replay.
Outcome<> WriteScenes(const ReplayRun& run, bool pictures, const Context& context) {
  Failure failed{FailureKind::File, ""};
  const auto draw = [&](const ReadScene& state, const std::string& source, const std::string& name) {
    const Outcome<> drawn = WritePicture(state, source, {}, run.output + "/" + name);
    if (drawn) return;
    if (drawn.failure().kind == FailureKind::NothingToShow) {
      context.err << "q9x replay: " << name << ": " << drawn.failure().reason << "\n";
    } else if (failed.reason.empty()) {
      failed = drawn.failure();
    }
  };
  ReadOptions options;
  options.holdMeshes = true;
  if (pictures) {
    // The steps up to the next that made a call show the same scene.
    size_t next = 0;
    options.onStepEnd = [&](uint64_t step, std::optional<uint64_t> following, const ReadScene& state) {
      const std::vector<ReplayStep>& steps = run.plan.steps;
      for (; next < steps.size() && (steps[next].number <= step || !following || steps[next].number < *following);
           ++next) {
        if (steps[next].number >= step) {
          draw(state, "journal.jsonl@" + std::to_string(steps[next].number), PictureName(steps[next].number));
        }
      }
    };
  }
  ReadFailure failure;
  const std::optional<ReadScene> final = ReadSceneFile(run.journal, options, failure);
  if (!final) return SceneFileFailure(run.journal, failure);
  draw(*final, run.output, "view.png");
  if (!failed.reason.empty()) return failed;
  return WriteGlbFile(final->scene, run.output + "/scene.glb");
}

// The steps whose outcome differs from the customer's, named on standard output.
bool OutcomesDiffer(const ReplayRun& run, std::ostream& out) {
  bool differ = false;
  for (size_t i = 0; i < run.plan.steps.size(); ++i) {
    const ReplayStep& step = run.plan.steps[i];
    const StepRun& own = run.runs[i];
    const std::string replayed = own.OutcomeText();
    if (!step.outcome.empty() && step.outcome != replayed) {
      out << "step " << step.number << " differs: the customer's request was " << step.outcome
          << ", the replay's " << replayed << "\n";
      differ = true;
    }
    if (own.syncRecordSame == false) differ = true;
  }
  return differ;
}

int Replay(const ReplayCommandOptions& options, const Context& context) {
  const Outcome<ReplayRun> run = ReplayFolder(options.replay, context.err);
  if (!run) return context.Fail("replay", run.failure());
  if (run->plan.recorded) {
    context.out << "replay of the recorded session " << run->plan.session << " (" << run->plan.steps.size()
                << " steps) into " << run->output << "\n";
  } else {
    context.out << "approximate replay of the log's last working session (" << run->plan.steps.size()
                << " steps) into " << run->output << ": " << run->plan.notes.front() << "\n";
  }
  if (const Outcome<> report = WriteStepReport(*run, context.out); !report) return context.Fail("replay", report.failure());
  std::ofstream summary(run->output + "/summary.txt", std::ios::binary);
  if (PrintSummary(run->journal, summary, context.err) != kOk || !summary.flush()) {
    return context.Fail("replay", {FailureKind::File, "cannot write " + run->output + "/summary.txt"});
  }
  if (const Outcome<> scenes = WriteScenes(*run, options.pictures, context); !scenes) {
    return context.Fail("replay", scenes.failure());
  }
  if (const Outcome<> page = WriteReportPage(run->output, run->folder); !page) {
    return context.Fail("replay", page.failure());
  }
  context.out << "replayed in " << run->replayMs << " ms; " << run->output
              << ": folder, journal.jsonl, steps.json, summary.txt, view.png" << (options.pictures ? ", view-*.png" : "")
              << ", scene.glb, report.html\n";
  return OutcomesDiffer(*run, context.out) ? kReplayDiffers : kOk;
}

std::function<int()> Declare(CLI::App& sub, const Context& context) {
  auto options = std::make_shared<ReplayCommandOptions>();
  auto link = std::make_shared<std::string>();
  auto log = std::make_shared<std::string>();
  auto session = std::make_shared<uint32_t>(0);
  auto maxSize = std::make_shared<std::string>();
  sub.add_option("BUNDLE_OR_FOLDER", options->replay.folder)->required();
  sub.add_option("-o,--output", options->replay.output);
  CLI::Option* linkOption = sub.add_option("--link", *link);
  CLI::Option* logOption = sub.add_option("--log", *log);
  CLI::Option* sessionOption = sub.add_option("--session", *session)->check(CLI::Range(1u, UINT32_MAX));
  sub.add_flag("--pictures", options->pictures);
  CLI::Option* maxSizeOption = sub.add_option("--max-size", *maxSize);
  return [=, &context] {
    if (maxSizeOption->count() > 0) {
      const std::optional<int64_t> bytes = ParseByteSize(*maxSize);
      if (!bytes) return context.Wrong("replay", "--max-size " + *maxSize + ": a size in bytes, e.g. 4G");
      options->replay.maxUnpackBytes = static_cast<uint64_t>(*bytes);
    }
    if (linkOption->count() > 0) options->replay.link = *link;
    if (logOption->count() > 0) options->replay.log = *log;
    if (sessionOption->count() > 0) options->replay.session = *session;
    if (options->replay.output.empty()) {
      std::string folder = options->replay.folder;
      while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
      if (folder.size() > 4 && folder.compare(folder.size() - 4, 4, ".zip") == 0) folder.resize(folder.size() - 4);
      options->replay.output = folder + "-replay";
    }
    return Replay(*options, context);
  };
}

}  // namespace replay_command

extern const Command kReplayCommand{
    "replay",
    "  replay BUNDLE.zip|FOLDER [-o OUTDIR] [--link LIB] [--session N] [--pictures]\n"
    "                               a customer's session run again, step by step, from its recording\n",
    replay_command::kHelp, replay_command::Declare};

}  // namespace q9x
