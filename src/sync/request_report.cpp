#include "sync/request_report.h"

#include <string>

#include "base/text.h"
#include "sync/requests.h"

namespace q9 {

namespace {

// The command word that carries the message; the process's own word for the start-up load.
std::string_view RequestWord(const ProcessState& process, std::optional<uint32_t> message) {
  for (const CommandWord& entry : kCommandWords) {
    if (message ? entry.message == message : entry.request == process.requestCode) {
      return entry.request == SyncRequest::None ? std::string_view() : entry.word;
    }
  }
  return {};
}

bool SendsSolids(std::optional<uint32_t> message) {
  return !message || *message == kSyncModelUpdateMessage || *message == kSyncLightMessage;
}

int64_t Milliseconds(RequestTally::Clock::duration duration) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

}  // namespace

std::string_view RequestName(std::optional<uint32_t> message) {
  if (!message) return "start-up load";
  switch (*message) {
    case kSyncCameraMessage: return "camera sync";
    case kSyncModelMessage: return "model sync";
    case kSyncModelUpdateMessage: return "model update";
    case kSyncLightMessage: return "light sync";
    case kSyncViewsMessage: return "views sync";
    default: return "request";
  }
}

RequestReport::RequestReport(ProcessState& process, std::optional<uint32_t> message)
    : process_(process), message_(message), startTally_(ThreadTally()) {
  process_.recording.BeginStep(process_.folder(),
                               {message, RequestWord(process, message), RequestName(message),
                                process.colorMode});
  start_ = RequestTally::Clock::now();
  startTicks_ = LinkTicks();
}

void RequestReport::Finish(bool done) {
  const RequestTally& tally = ThreadTally();
  const RequestTally::Clock::duration total = RequestTally::Clock::now() - start_;
  const uint64_t ticks = LinkTicks() - startTicks_;
  Recording::Outcome outcome;
  outcome.done = done;
  outcome.totalMs = Milliseconds(total);
  outcome.filesMs = Milliseconds(tally.files - startTally_.files);
  // The link library's ticks as a share of the request's own: time by the steady clock.
  const uint64_t linkTicks = tally.linkTicks - startTally_.linkTicks;
  const double share = ticks == 0 ? 0 : static_cast<double>(linkTicks) / static_cast<double>(ticks);
  outcome.linkMs = Milliseconds(std::chrono::duration_cast<RequestTally::Clock::duration>(
      std::chrono::duration<double, RequestTally::Clock::period>(static_cast<double>(total.count()) * share)));
  outcome.solidsSent = tally.solidsSent - startTally_.solidsSent;
  std::string line = "Note: ";
  if (message_) line += "request " + std::to_string(*message_) + " (";
  line += RequestName(message_);
  if (message_) line += ")";
  line += (done ? " done in " : " failed in ") + GroupedNumber(outcome.totalMs) + " ms: files " +
          GroupedNumber(outcome.filesMs) + " ms, link library " + GroupedNumber(outcome.linkMs) +
          " ms";
  if (SendsSolids(message_)) {
    line += ", " + GroupedNumber(outcome.solidsSent) +
            (outcome.solidsSent == 1 ? " solid sent" : " solids sent");
  }
  process_.log.WriteLine(line);
  process_.recording.EndStep(outcome);
}

}  // namespace q9
