#include "replay/replay_plan.h"

#include <algorithm>

#include "base/exchange_folder.h"
#include "base/platform.h"
#include "base/text.h"
#include "sync/request_report.h"
#include "sync/requests.h"

namespace q9x {

namespace {

// The files a recording keeps; no other name from a line becomes a path.
constexpr const char* kExchangeFiles[] = {"_model.pdx", "_mod.sm", "camera.cam", "Views.cam", "_mod.sync"};

bool IsExchangeFile(const std::string& name) {
  return std::find_if(std::begin(kExchangeFiles), std::end(kExchangeFiles),
                      [&](const char* known) { return name == known; }) != std::end(kExchangeFiles);
}

// The folder the working instance gives step `step`: "0003-1027", "0001-startup".
std::string StepFolderName(uint32_t step, std::optional<uint32_t> message) {
  std::string number = std::to_string(step);
  if (number.size() < 4) number.insert(0, 4 - number.size(), '0');
  return number + "-" + (message ? std::to_string(*message) : "startup");
}

bool IsRequestMessage(uint32_t message) {
  return message >= q9::kSyncCameraMessage && message <= q9::kSyncViewsMessage;
}

std::string StepName(const RecordedStep& step) {
  return "step " + std::to_string(step.step) + " (" + std::string(q9::RequestName(step.message)) + ")";
}

ReplayStep StepOf(const RecordedStep& recorded, const RecordedSession& session, std::vector<std::string>& notes) {
  ReplayStep step;
  step.number = recorded.step;
  step.message = recorded.message;
  step.word = recorded.word;
  step.request = std::string(q9::RequestName(recorded.message));
  step.time = recorded.time;
  step.outcome = recorded.outcome;
  step.durations = recorded.durations;
  const bool ownFolder = recorded.folder == StepFolderName(recorded.step, recorded.message);
  for (const RecordedFile& file : recorded.files) {
    if (!IsExchangeFile(file.name)) {
      notes.push_back(StepName(recorded) + " lists a file \"" + file.name +
                      "\", which is none of the exchange files: passed over");
      continue;
    }
    ReplayFile entry{file.name, "", file.size, file.sha256, file.reason};
    if (file.kept && ownFolder) {
      const std::u16string folder = q9::FolderFilePath(q9::Utf16FromUtf8(session.path), q9::Utf16FromUtf8(recorded.folder));
      entry.copy = q9::Utf8FromUtf16(q9::FolderFilePath(folder, q9::Utf16FromUtf8(file.name)));
    } else if (file.kept) {
      entry.reason = "the line names the folder \"" + recorded.folder + "\", not the step's own";
    }
    step.files.push_back(std::move(entry));
  }
  return step;
}

}  // namespace

ReplayPlan PlanFromRecording(const RecordedSession& session) {
  ReplayPlan plan;
  plan.recorded = true;
  plan.source = q9::platform::DisplayPath(q9::Utf16FromUtf8(session.path));
  plan.session = session.name;
  uint32_t last = 0;
  for (const RecordedStep& recorded : session.steps) {
    const bool startup = !recorded.message;
    if (recorded.step <= last || (startup && !plan.steps.empty()) ||
        (recorded.message && !IsRequestMessage(*recorded.message))) {
      plan.notes.push_back("the line of " + StepName(recorded) +
                           " comes out of order or names no request: passed over");
      continue;
    }
    if (plan.steps.empty() && !startup) {
      // The recording was switched on during the session: the load it started with is not kept.
      plan.notes.push_back("the session's start-up load was not recorded: it loads \"_model.pdx\" as it is");
      plan.steps.push_back({1, std::nullopt, "", std::string(q9::RequestName(std::nullopt)), "", "", std::nullopt, {}});
      last = 1;
      if (recorded.step <= last) continue;
    }
    if (recorded.step > last + 1 && !plan.steps.empty()) {
      plan.notes.push_back("steps " + std::to_string(last + 1) + " to " + std::to_string(recorded.step - 1) +
                           " were not recorded: the replay goes on without them");
    }
    if (startup) {
      if (!recorded.word.empty()) {
        plan.startWord = recorded.word;
      } else if (recorded.colorMode) {
        plan.startWord = "colorMode";
      }
    }
    plan.steps.push_back(StepOf(recorded, session, plan.notes));
    last = recorded.step;
  }
  if (session.unreadLines > 0) {
    plan.notes.push_back(std::to_string(session.unreadLines) + " lines of requests.jsonl are no step's: passed over");
  }
  return plan;
}

ReplayPlan PlanFromLog(const LoggedSession& session, const std::string& logPath) {
  ReplayPlan plan;
  plan.source = logPath;
  if (!session.word.empty()) plan.startWord = session.word;
  uint64_t number = 0;
  for (const LoggedRequest& request : session.requests) {
    if (number == 0 && request.message) {
      plan.steps.push_back({++number, std::nullopt, session.word, std::string(q9::RequestName(std::nullopt)),
                            session.startTime, "", std::nullopt, {}});
    }
    if (number > 0 && !request.message) continue;  // a second start-up line: not of this session
    plan.steps.push_back({++number, request.message, request.message ? "" : session.word, request.name,
                          request.time, request.outcome, request.durations, {}});
  }
  if (plan.steps.empty()) {
    plan.steps.push_back({1, std::nullopt, session.word, std::string(q9::RequestName(std::nullopt)),
                          session.startTime, "", std::nullopt, {}});
  }
  plan.notes.push_back("this replay is approximate: the folder holds no recording, so the requests come from "
                       "the log's last working session and run against the exchange files as they are now, "
                       "which the host may have overwritten since the customer's program read them");
  if (!session.timed) {
    plan.notes.push_back("the log has no timed request lines (an older version wrote it): the requests are "
                         "inferred from the forwarded command words and the model updates' lines");
  }
  if (session.linesSkipped > 0) {
    plan.notes.push_back(std::to_string(session.linesSkipped) + " lines of the log were passed over (too long, or "
                         "beyond " + std::to_string(kMostLoggedRequests) + " requests)");
  }
  return plan;
}

}  // namespace q9x
