// q9x record: the recording switch in the exchange folder, and what was recorded.
#include <iomanip>
#include <memory>
#include <sstream>

#include "base/exchange_folder.h"
#include "base/json_writer.h"
#include "base/platform.h"
#include "base/process_state.h"
#include "base/recording_switch.h"
#include "base/text.h"
#include "common/byte_size.h"
#include "common/environment.h"
#include "common/files.h"
#include "common/recorded_sessions.h"
#include "q9x/command.h"
#include "q9x/exit_status.h"

namespace q9x {

namespace record_command {

constexpr const char* kHelp = R"(usage: q9x record start [--to DIR] [--max-size SIZE] [--folder DIR]
       q9x record stop [--folder DIR]
       q9x record status [--folder DIR] [--json]
       q9x record clear [--folder DIR]

A recording keeps, for every request the working instance handles, the bytes of the files that
request read, as it read them, with a line saying what it did and how long it took
(docs/recording.md). It is off unless switched on; `q9x bundle` sends it to support.

start    writes the switch "Q9_Recording.json" into the exchange folder and makes the recording
         folder; the working instance records from its next request on
         --to DIR        where to keep it (default: under the local application data folder,
                         %LOCALAPPDATA%\Q9_Exchange\Recording; natively
                         $XDG_STATE_HOME/q9_exchange/recording or ~/.local/state/...)
         --max-size SIZE the most it may hold, e.g. 500M or 4G (default 2G): older sessions
                         are removed whole to stay below it
stop     removes the switch; what was recorded stays
status   the switch, then each session with its steps and size (--json for scripts)
clear    removes every recorded session, after listing what it removes; the switch stays
--folder DIR   the exchange folder; otherwise the system's lookup (APPDATA, then the registry)

Exit status: 0 done, 1 a file could not be read or written, 2 a wrong command line.

example:
  q9x record start --max-size 4G
)";

struct Options {
  std::string action;
  std::string folder;
  std::string to;
  std::string maxSize;
  bool asJson = false;
  CLI::Option* folderOption = nullptr;
};

std::u16string ExchangeFolder(const Options& options) {
  q9::ProcessState process;
  if (options.folderOption->count() > 0) process.exchangeFolder.Fix(q9::Utf16FromUtf8(options.folder));
  return process.folder();
}

std::u16string SwitchPath(const Options& options) {
  return q9::FolderFilePath(ExchangeFolder(options), q9::RecordingSwitch::kFileName);
}

// The switch as the working instance would read it; nothing when there is none.
Outcome<std::optional<q9::RecordingSwitch>> ReadSwitch(const Options& options) {
  const std::string path = q9::platform::DisplayPath(SwitchPath(options));
  if (q9::platform::FileSize(SwitchPath(options)) < 0) return std::optional<q9::RecordingSwitch>();
  Outcome<std::string> text = ReadWholeFile(path, q9::RecordingSwitch::kMostBytes, "a switch may have");
  if (!text) return text.failure();
  std::string problem;
  std::optional<q9::RecordingSwitch> parsed = q9::ParseRecordingSwitch(*text, problem);
  if (!parsed) return Failure{FailureKind::File, path + ": " + problem};
  return parsed;
}

int Start(const Options& options, const Context& context) {
  q9::RecordingSwitch recordingSwitch;
  const std::string folder = options.to.empty() ? DefaultRecordingFolder() : options.to;
  if (folder.empty()) {
    return context.Wrong("record", "no recording folder: neither LOCALAPPDATA nor HOME is set; give --to DIR");
  }
  recordingSwitch.folder = q9::Utf16FromUtf8(folder);
  if (!options.maxSize.empty()) {
    const std::optional<int64_t> size = ParseByteSize(options.maxSize);
    if (!size) return context.Wrong("record", "--max-size " + options.maxSize + ": not a size (e.g. 500M, 4G)");
    recordingSwitch.maxSize = *size;
  }
  q9::platform::FileError error;
  if (!q9::platform::CreateFolders(recordingSwitch.folder, &error)) {
    return context.Fail("record", {FailureKind::File, "the recording folder \"" + folder +
                                                          "\" could not be made: " + error.text});
  }
  const std::u16string switchPath = SwitchPath(options);
  const std::string shown = q9::platform::DisplayPath(switchPath);
  if (!WriteWholeFile(shown, q9::RecordingSwitchText(recordingSwitch))) {
    return context.Fail("record", {FailureKind::File, "cannot write " + shown});
  }
  context.out << "recording into " << folder << " (at most " << ShownByteSize(recordingSwitch.maxSize)
              << "); switch " << shown << "\n";
  return kOk;
}

int Stop(const Options& options, const Context& context) {
  const std::u16string switchPath = SwitchPath(options);
  const std::string shown = q9::platform::DisplayPath(switchPath);
  if (!q9::platform::PathExists(switchPath)) {
    context.out << "not recording: no switch " << shown << "\n";
    return kOk;
  }
  if (!q9::platform::RemovePath(switchPath)) {
    return context.Fail("record", {FailureKind::File, "cannot remove " + shown});
  }
  context.out << "recording stopped; what was recorded stays\n";
  return kOk;
}

void StatusJson(const std::optional<q9::RecordingSwitch>& recordingSwitch,
                const std::vector<RecordedSession>& sessions, std::ostream& out) {
  std::string text;
  q9::JsonOptions indented;
  indented.indented = true;
  q9::JsonWriter json(text, indented);
  json.BeginObject();
  json.Key("recording");
  json.Bool(recordingSwitch.has_value());
  json.Key("folder");
  recordingSwitch ? json.String(q9::Utf8FromUtf16(recordingSwitch->folder)) : json.Null();
  json.Key("maxSize");
  recordingSwitch ? json.Int(recordingSwitch->maxSize) : json.Null();
  json.Key("sessions");
  json.BeginArray();
  for (const RecordedSession& session : sessions) {
    json.BeginObject();
    json.Key("name");
    json.String(session.name);
    json.Key("bytes");
    json.Int(session.bytes);
    json.Key("steps");
    json.BeginArray();
    for (const RecordedStep& step : session.steps) {
      json.BeginObject();
      json.Key("step");
      json.Unsigned(step.step);
      json.Key("folder");
      json.String(step.folder);
      json.Key("time");
      json.String(step.time);
      json.Key("request");
      json.String(step.request);
      json.Key("outcome");
      json.String(step.outcome);
      json.Key("allKept");
      json.Bool(step.allKept);
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  out << text << "\n";
}

void StatusTable(const std::vector<RecordedSession>& sessions, std::ostream& out) {
  out << std::left << std::setw(22) << "session" << std::setw(7) << "steps" << std::setw(12)
      << "size" << "requests\n";
  for (const RecordedSession& session : sessions) {
    std::string requests;
    for (const RecordedStep& step : session.steps) {
      if (!requests.empty()) requests += ", ";
      requests += step.request + (step.outcome == "done" ? "" : " (failed)") +
                  (step.allKept ? "" : " (not all kept)");
      if (requests.size() > 60) {
        requests += ", ...";
        break;
      }
    }
    out << std::setw(22) << session.name << std::setw(7) << session.steps.size() << std::setw(12)
        << ShownByteSize(session.bytes) << requests << "\n";
  }
}

int Status(const Options& options, const Context& context) {
  Outcome<std::optional<q9::RecordingSwitch>> recordingSwitch = ReadSwitch(options);
  if (!recordingSwitch) return context.Fail("record", recordingSwitch.failure());
  const std::string folder = *recordingSwitch ? q9::Utf8FromUtf16((*recordingSwitch)->folder)
                                              : DefaultRecordingFolder();
  const std::vector<RecordedSession> sessions = ListRecordedSessions(folder);
  if (options.asJson) {
    StatusJson(*recordingSwitch, sessions, context.out);
    return kOk;
  }
  if (*recordingSwitch) {
    context.out << "recording into " << folder << " (at most "
                << ShownByteSize((*recordingSwitch)->maxSize) << ")\n";
  } else {
    context.out << "not recording; earlier recordings in " << folder << "\n";
  }
  StatusTable(sessions, context.out);
  return kOk;
}

int Clear(const Options& options, const Context& context) {
  Outcome<std::optional<q9::RecordingSwitch>> recordingSwitch = ReadSwitch(options);
  if (!recordingSwitch) return context.Fail("record", recordingSwitch.failure());
  const std::string folder = *recordingSwitch ? q9::Utf8FromUtf16((*recordingSwitch)->folder)
                                              : DefaultRecordingFolder();
  int64_t bytes = 0;
  const std::vector<RecordedSession> sessions = ListRecordedSessions(folder);
  for (const RecordedSession& session : sessions) {
    context.out << "removing " << session.path << " (" << session.steps.size() << " steps, "
                << ShownByteSize(session.bytes) << ")\n";
    if (!q9::platform::RemoveTree(q9::Utf16FromUtf8(session.path))) {
      return context.Fail("record", {FailureKind::File, "cannot remove " + session.path});
    }
    bytes += session.bytes;
  }
  context.out << "removed " << sessions.size() << " sessions, " << ShownByteSize(bytes) << "\n";
  return kOk;
}

std::function<int()> Declare(CLI::App& sub, const Context& context) {
  auto options = std::make_shared<Options>();
  sub.add_option("ACTION", options->action)
      ->required()
      ->check(CLI::IsMember({"start", "stop", "status", "clear"}));
  options->folderOption = sub.add_option("--folder", options->folder);
  CLI::Option* to = sub.add_option("--to", options->to);
  CLI::Option* maxSize = sub.add_option("--max-size", options->maxSize);
  sub.add_flag("--json", options->asJson);
  return [=, &context] {
    if (options->action != "start" && (to->count() > 0 || maxSize->count() > 0)) {
      return context.Wrong("record", "--to and --max-size go with \"start\" only");
    }
    if (options->action == "start") return Start(*options, context);
    if (options->action == "stop") return Stop(*options, context);
    if (options->action == "status") return Status(*options, context);
    return Clear(*options, context);
  };
}

}  // namespace record_command

extern const Command kRecordCommand{
    "record",
    "  record start|stop|status|clear [--folder DIR] [--to DIR] [--max-size SIZE] [--json]\n"
    "                               switch on, switch off, list or remove the recording of each\n"
    "                               request's files\n",
    record_command::kHelp, record_command::Declare};

}  // namespace q9x
