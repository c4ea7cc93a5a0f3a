#include "replay/step_report.h"


#include "base/json_writer.h"
#include "base/platform.h"
#include "base/text.h"
#include "received/diff_report.h"
#include "received/scene_diff.h"
#include "received/scene_reader.h"

namespace q9x {

namespace {

void WriteText(q9::JsonWriter& out, const std::string& text) {
  if (text.empty()) {
    out.Null();
  } else {
    out.String(text);
  }
}

void WriteTimes(q9::JsonWriter& out, const std::string& outcome, const std::optional<RequestDurations>& durations) {
  out.BeginObject();
  out.Key("outcome");
  WriteText(out, outcome);
  const std::pair<const char*, int64_t RequestDurations::*> fields[] = {
      {"totalMs", &RequestDurations::totalMs}, {"filesMs", &RequestDurations::filesMs}, {"linkMs", &RequestDurations::linkMs}};
  for (const auto& [key, member] : fields) {
    out.Key(key);
    durations ? void(out.Int((*durations).*member)) : void(out.Null());
  }
  out.EndObject();
}

// "done in 12 ms", "failed", "not run".
std::string TimesText(const std::string& outcome, const std::optional<RequestDurations>& durations) {
  if (outcome.empty()) return "not known";
  return outcome + (durations ? " in " + std::to_string(durations->totalMs) + " ms" : "");
}

// The steps' entries, written in order as the journal's states come.
class StepWriter {
 public:
  StepWriter(const ReplayRun& replay, q9::JsonWriter& json, std::ostream& out)
      : replay_(replay), json_(json), out_(out) {}

  // The state after `step` (null: no journal): every step before it that made no call changed
  // nothing, then this one changed what lies between the last state and this.
  void StateAfter(uint64_t step, const ReceivedScene* scene) {
    while (next_ < replay_.plan.steps.size() && replay_.plan.steps[next_].number < step) Write(next_++, &previous_);
    if (next_ < replay_.plan.steps.size() && replay_.plan.steps[next_].number == step) Write(next_++, scene);
    if (scene) previous_ = *scene;
  }
  void Finish(bool journalRead) {
    while (next_ < replay_.plan.steps.size()) Write(next_++, journalRead ? &previous_ : nullptr);
  }

 private:
  void Write(size_t index, const ReceivedScene* after) {
    const ReplayStep& step = replay_.plan.steps[index];
    const StepRun& run = replay_.runs[index];
    json_.BeginObject();
    json_.Key("step");
    json_.Unsigned(step.number);
    json_.Key("request");
    json_.String(step.request);
    json_.Key("message");
    step.message ? void(json_.Unsigned(*step.message)) : void(json_.Null());
    json_.Key("word");
    WriteText(json_, step.word);
    json_.Key("time");
    WriteText(json_, step.time);
    json_.Key("customer");
    WriteTimes(json_, step.outcome, step.durations);
    json_.Key("replay");
    WriteTimes(json_, run.OutcomeText(), run.durations);
    json_.Key("files");
    json_.BeginArray();
    std::string asItIs;
    for (const auto& [name, bytes] : run.files) {
      json_.BeginObject();
      json_.Key("bytes");
      json_.String(bytes);
      json_.Key("name");
      json_.String(name);
      json_.EndObject();
      if (bytes == "as it is") asItIs += " " + name;
    }
    json_.EndArray();
    json_.Key("syncRecordSame");
    run.syncRecordSame ? void(json_.Bool(*run.syncRecordSame)) : void(json_.Null());
    json_.Key("changes");
    std::string changes = "changes not known (no journal)";
    if (after) {
      const DiffCounts counts = CountDifferences(previous_, *after);
      const DiffSide before{replay_.journal, false, previousStep_};
      DiffJson document(json_, before, {replay_.journal, false, step.number}, counts, kListedChanges);
      CompareScenes(previous_, *after, [&](const Difference& difference) { document.Add(difference); });
      document.Finish();
      changes = counts.Total() == 0 ? "no change" : CountsText(counts);
      previousStep_ = step.number;
    } else {
      json_.Null();
    }
    json_.EndObject();
    out_ << "step " << step.number << " " << step.request << (step.message ? " (" + std::to_string(*step.message) + ")" : "")
         << ": " << TimesText(run.OutcomeText(), run.durations) << "; customer " << TimesText(step.outcome, step.durations)
         << (asItIs.empty() ? "" : "; not kept, used as it is:" + asItIs) << "; " << changes << "\n";
    if (run.syncRecordSame == false) {
      out_ << "  the sync record written differs from the customer's\n";
    }
  }

  const ReplayRun& replay_;
  q9::JsonWriter& json_;
  std::ostream& out_;
  size_t next_ = 0;
  ReceivedScene previous_;
  std::optional<uint64_t> previousStep_;
};

void WriteHead(q9::JsonWriter& json, const ReplayRun& replay) {
  json.BeginObject();
  json.Key("format");
  json.Int(1);
  json.Key("source");
  json.String(replay.plan.recorded ? "recording" : "log");
  json.Key("from");
  json.String(replay.plan.source);
  json.Key("session");
  WriteText(json, replay.plan.session);
  json.Key("approximate");
  json.Bool(!replay.plan.recorded);
  json.Key("notes");
  json.BeginArray();
  for (const std::string& note : replay.plan.notes) json.String(note);
  json.EndArray();
  json.Key("journal");
  json.String(replay.journal);
  json.Key("replayMs");
  json.Int(replay.replayMs);
  json.Key("steps");
  json.BeginArray();
}

}  // namespace

Outcome<> WriteStepReport(const ReplayRun& replay, std::ostream& out) {
  const std::string path = replay.output + "/steps.json";
  const std::u16string target = q9::Utf16FromUtf8(path);
  const std::u16string part = target + u".part";
  bool journalRead = false;
  ReadFailure failure;
  {
    q9::platform::UniqueFile file = q9::platform::OpenFile(part, "wb");
    if (!file) return Failure{FailureKind::File, "cannot write " + path + ".part"};
    q9::JsonOptions options;
    options.indented = true;
    std::FILE* stream = file.get();
    q9::JsonWriter json(
        [stream](std::string_view text) { return std::fwrite(text.data(), 1, text.size(), stream) == text.size(); },
        options);
    WriteHead(json, replay);
    StepWriter steps(replay, json, out);
    ReadOptions read;
    read.printMeshes = true;
    read.onStepEnd = [&steps](uint64_t step, std::optional<uint64_t>, const ReadScene& state) {
      steps.StateAfter(step, &state.scene);
    };
    journalRead = ReadSceneFile(replay.journal, read, failure).has_value();
    steps.Finish(journalRead);
    json.EndArray();
    json.EndObject();
    json << "\n";
    if (!json.Flush() || !q9::platform::FinishFile(std::move(file), nullptr)) {
      q9::platform::RemovePath(part);
      return Failure{FailureKind::File, "cannot write " + path};
    }
  }
  if (!q9::platform::RenameFile(part, target, true)) return Failure{FailureKind::File, "cannot write " + path};
  if (!journalRead) {
    return Failure{FailureKind::File, "the replay left no journal to read (" + failure.message +
                                          "): only the reference link library writes one"};
  }
  return Done{};
}

}  // namespace q9x
