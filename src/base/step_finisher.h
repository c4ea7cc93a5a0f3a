// The part of a recorded step that may come after its request: the SHA-256 of each copy too
// large to be hashed while it was copied, read back from the recording; the start-up model's
// copy replaced by a link to an earlier session's unchanged one; its digest line; and last the
// step's line in "requests.jsonl" (docs/recording.md). Steps are finished in the order they are
// handed over, so a step's line never comes before an earlier step's.
//
// A step whose digests are all known while nothing is waiting is finished at once, by the
// caller; any other waits for one worker thread, which holds one block of bytes at a time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace q9 {

// "<hex digest> <size>\n", as a session's "startup-model.sha256" holds it.
std::string StartupModelDigestLine(const std::string& digest, int64_t size);

// A recorded step and its parts, outside StepFinisher so that they are complete where it and
// its callers construct them (clang refuses a nested type with member initialisers there).
// StepFinisher names them as its own.
namespace finished_step {

// One file of a step, as its line lists it.
struct File {
  std::u16string name;
  int64_t size = -1;     // -1: not found
  std::string sha256;    // empty when the bytes could not be read whole
  bool kept = false;
  std::string reason;    // why not kept
  // The kept copy whose SHA-256 is still to be made (a copy is the bytes as the request read
  // them, whatever the host writes afterwards); empty when sha256 is known.
  std::u16string digestOf;
};
// The start-up model of a session's first step.
struct StartupModel {
  size_t file = 0;                // its index in Step::files
  std::u16string copy;            // where it was kept
  std::u16string digestFile;      // this session's "startup-model.sha256"
  // The newest earlier session's kept model and its digest line. When that line is the one
  // of the bytes kept here, the copy becomes a second name of the earlier one: the same bytes
  // are then on the disk once. Empty when there is none.
  std::u16string earlierCopy;
  std::string earlierDigestLine;
};
struct Outcome {
  bool done = false;
  int64_t totalMs = 0;
  int64_t filesMs = 0;
  int64_t linkMs = 0;
  uint64_t solidsSent = 0;
};
struct Step {
  uint32_t number = 0;
  std::string folder;                // "0003-1027"
  std::string time;                  // when it started, UTC, to the millisecond
  std::optional<uint32_t> message;   // none for the start-up load
  std::string word;                  // empty when none
  std::string request;
  bool colorMode = false;
  std::vector<File> files;
  std::optional<StartupModel> startupModel;
  Outcome outcome;
  std::u16string requestsFile;       // the session's "requests.jsonl"
  bool warned = false;               // the step has had its one warning already
};

}  // namespace finished_step

class StepFinisher {
 public:
  using File = finished_step::File;
  using StartupModel = finished_step::StartupModel;
  using Outcome = finished_step::Outcome;
  using Step = finished_step::Step;

  StepFinisher() = default;
  StepFinisher(const StepFinisher&) = delete;
  StepFinisher& operator=(const StepFinisher&) = delete;
  // Finishes every step handed over, then ends the worker.
  ~StepFinisher();

  // Finishes `step` after every step handed over before it: at once when none is waiting and
  // none of its files waits for its digest, otherwise on the worker. Never throws.
  void Finish(Step step);
  // Returns once every step handed over is finished.
  void Wait();

  // What the finished steps left for the caller since the last call: their warnings (at most
  // one a step, without the "Warning: recording: " the caller's log line begins with) and the
  // bytes they added to the recording.
  std::vector<std::string> TakeWarnings();
  int64_t TakeAddedBytes();

 private:
  void Work();
  // Everything a step needs after its request, on whichever thread finishes it.
  void FinishNow(Step& step);

  std::mutex mutex_;
  std::condition_variable wake_;  // a step waits, or the finisher ends
  std::condition_variable idle_;  // nothing waits any more
  std::deque<Step> waiting_;
  bool busy_ = false;   // the worker is finishing a step it took from waiting_
  bool ending_ = false;
  std::vector<std::string> warnings_;
  int64_t addedBytes_ = 0;
  std::thread worker_;  // started with the first step that waits
};

}  // namespace q9
