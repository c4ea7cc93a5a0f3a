// What a replay runs, from the untrusted lines it is given: the timed lines of a log, the log's
// last working session, and a recorded session's steps, each read within its bounds.
#include "replay/replay_plan.h"

#include <gmock/gmock.h>

#include "base/text.h"
#include "test_files.h"

namespace q9x {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(RequestLog, TimedLinesAreReadWithTheirGroupedNumbersAndNothingElseIs) {
  const std::optional<LoggedRequest> update = ParseTimedLine(
      "Note: request 1027 (model update) done in 1 204 ms: files 35 ms, link library 361 ms, 1 204 solids sent");
  ASSERT_TRUE(update);
  EXPECT_EQ(update->message, 1027u);
  EXPECT_EQ(update->name, "model update");
  EXPECT_EQ(update->outcome, "done");
  ASSERT_TRUE(update->durations);
  EXPECT_EQ(update->durations->totalMs, 1204);
  EXPECT_EQ(update->durations->filesMs, 35);
  EXPECT_EQ(update->durations->linkMs, 361);
  const std::optional<LoggedRequest> load =
      ParseTimedLine("Note: start-up load failed in 5 230 ms: files 1 020 ms, link library 3 900 ms, 0 solids sent");
  ASSERT_TRUE(load);
  EXPECT_EQ(load->message, std::nullopt);
  EXPECT_EQ(load->outcome, "failed");
  EXPECT_EQ(load->durations->filesMs, 1020);
  for (const char* other : {
           "Note: request 1024 (request) done in 1 ms: files 1 ms, link library 1 ms",
           "Note: request 1027 (model update) done in  ms: files 1 ms, link library 1 ms",
           "Note: request 1027 (model update) done in 1234567890123456789 ms: files 1 ms, link library 1 ms",
           "Note: request 1027 (model update) ended in 1 ms: files 1 ms, link library 1 ms",
           "Note: request 1027 (model update",
           "Note: request 10 27 (model update) done in 1 ms: files 1 ms, link library 1 ms",
           "Note: link library loaded from \"/lib/libQ9Plugin.so\"",
           ""}) {
    EXPECT_EQ(ParseTimedLine(other), std::nullopt) << other;
  }
}

// Lines as the log's two writers stamp them, each ended with CR LF.
std::string LogOf(const std::vector<std::string>& messages) {
  std::string text;
  for (const std::string& message : messages) {
    const bool wide = message == "ModelSync" || message == "cameraSync";
    text += (wide ? "[2026/12/10 13:05:09]: " : "[2026. 12. 10 - 13:05:11]: ") + message + "\r\n";
  }
  return text;
}

std::vector<std::optional<uint32_t>> Messages(const LoggedSession& session) {
  std::vector<std::optional<uint32_t>> messages;
  for (const LoggedRequest& request : session.requests) messages.push_back(request.message);
  return messages;
}

TEST(RequestLog, TheLastWorkingSessionIsReadFromItsInitStart) {
  const q9::test::TempFolder folder;
  const std::string log = q9::Utf8FromUtf16(folder.File(u"Q9_Log.log"));
  const std::string timed = "Note: request 1025 (camera sync) done in 3 ms: files 1 ms, link library 1 ms";
  // An older instance's timed session, then one written before the timed lines, with a line no
  // writer makes (too long) and a forwarding start.
  q9::test::WriteFileBytes(q9::Utf16FromUtf8(log),
                           LogOf({"Args - ", "cameraSync", "Init Start", timed, "Args - ", "ModelSync", "Init Start",
                                  std::string(kLongestLogLine + 1, 'x'), "Args - ", "cameraSync",
                                  "Sync Model state 1 _ Start", "Sync Model state 1 _ End"}));
  Outcome<std::optional<LoggedSession>> read = ReadLoggedSession(log);
  ASSERT_TRUE(read && *read);
  const LoggedSession& older = **read;
  EXPECT_FALSE(older.timed);
  EXPECT_EQ(older.word, "ModelSync");
  EXPECT_EQ(older.startTime, "2026-12-10T13:05:11Z");
  EXPECT_EQ(older.linesSkipped, 1u);
  // The load, the instance's own model sync, then the forwarded camera sync and the update.
  EXPECT_THAT(Messages(older), ElementsAre(std::nullopt, 1026u, 1025u, 1027u));
  EXPECT_EQ(older.requests[2].time, "2026-12-10T13:05:09Z");
  const ReplayPlan plan = PlanFromLog(older, log);
  EXPECT_FALSE(plan.recorded);
  EXPECT_EQ(plan.steps.back().number, 4u);
  EXPECT_THAT(plan.notes.at(1), HasSubstr("no timed request lines"));

  // With timed lines they alone name the requests; a session without its load's line gets one.
  q9::test::WriteFileBytes(q9::Utf16FromUtf8(log), LogOf({"Args - ", "ModelSync", "Init Start", "Args - ", "cameraSync", timed}));
  read = ReadLoggedSession(log);
  ASSERT_TRUE(read && *read);
  EXPECT_THAT(Messages(**read), ElementsAre(1025u));
  const ReplayPlan timedPlan = PlanFromLog(**read, log);
  ASSERT_EQ(timedPlan.steps.size(), 2u);
  EXPECT_EQ(timedPlan.steps[0].word, "ModelSync");
  EXPECT_EQ(timedPlan.steps[1].durations->totalMs, 3);

  q9::test::WriteFileBytes(q9::Utf16FromUtf8(log), LogOf({"Args - ", "ModelSync"}));
  read = ReadLoggedSession(log);
  EXPECT_TRUE(read && !*read) << "no working session";
  EXPECT_FALSE(ReadLoggedSession(log + "-missing"));
}

RecordedStep Step(uint32_t number, std::optional<uint32_t> message, std::string folder,
                  std::vector<RecordedFile> files = {}) {
  RecordedStep step;
  step.step = number;
  step.message = message;
  step.folder = std::move(folder);
  step.outcome = "done";
  step.files = std::move(files);
  return step;
}

TEST(ReplayPlan, ARecordedSessionIsTakenInOrderAndItsNamesNeverLeaveTheStepFolder) {
  RecordedSession session;
  session.name = "20261210-130509-4242";
  session.path = "/recording/20261210-130509-4242";
  const RecordedFile update{"_mod.sm", 10, "", true, ""};
  session.steps = {
      Step(3, 1027, "0003-1027", {update}),                         // the load was not recorded
      Step(5, 1027, "../../elsewhere", {update}),                   // another folder: not used
      Step(5, 1025, "0005-1025"),                                   // the same number again
      Step(6, 1025, "0006-1025", {{"../../camera.cam", 3, "", true, ""}}),
      Step(7, 1030, "0007-1030"),                                   // no request
      Step(8, std::nullopt, "0008-startup"),                        // a second load
      Step(9, 1025, "0009-1025", {{"camera.cam", -1, "", false, ""}}),
  };
  session.unreadLines = 2;
  const ReplayPlan plan = PlanFromRecording(session);
  EXPECT_TRUE(plan.recorded);
  std::vector<uint64_t> numbers;
  for (const ReplayStep& step : plan.steps) numbers.push_back(step.number);
  EXPECT_THAT(numbers, ElementsAre(1u, 3u, 5u, 6u, 9u));
  EXPECT_EQ(plan.steps[0].message, std::nullopt);
  EXPECT_THAT(q9::Utf8FromUtf16(q9::Utf16FromUtf8(plan.steps[1].files.at(0).copy)), HasSubstr("0003-1027"));
  EXPECT_EQ(plan.steps[1].files[0].copy.substr(plan.steps[1].files[0].copy.size() - 7), "_mod.sm");
  EXPECT_EQ(plan.steps[2].files.at(0).copy, "") << "a folder other than the step's own";
  EXPECT_THAT(plan.steps[2].files[0].reason, HasSubstr("../../elsewhere"));
  EXPECT_TRUE(plan.steps[3].files.empty()) << "a name that is none of the exchange files";
  EXPECT_EQ(plan.steps[4].files.at(0).size, -1);
  std::string notes;
  for (const std::string& note : plan.notes) notes += note + "\n";
  EXPECT_THAT(notes, HasSubstr("start-up load was not recorded"));
  EXPECT_THAT(notes, HasSubstr("steps 7 to 8 were not recorded"));
  EXPECT_THAT(notes, HasSubstr("\"../../camera.cam\", which is none of the exchange files"));
  EXPECT_THAT(notes, HasSubstr("2 lines of requests.jsonl"));
  EXPECT_EQ(std::count_if(plan.notes.begin(), plan.notes.end(),
                          [](const std::string& note) { return note.find("out of order") != std::string::npos; }),
            3);
}

}  // namespace
}  // namespace q9x
