// The recording of a working session: while the switch "Q9_Recording.json" is in the exchange
// folder, each request the working instance handles keeps the bytes of the files it read, as it
// read them, in a step folder of the session's folder, and adds a line to the session's
// "requests.jsonl" (layout and formats: docs/recording.md).
//
// A recording never fails a request and never costs it more than its own copy: every failure
// (a full disk, a folder that cannot be made, a file in use) is one "Warning: " line, the file
// is listed as not kept, and the request goes on as it would. Without the switch a step costs
// one check for the switch's file and nothing else.
//
// The SHA-256 of a large file is made from its copy after the request, on a worker thread, and
// the step's line follows it; the lines keep the order of their steps (base/step_finisher.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/log.h"
#include "base/recording_switch.h"
#include "base/step_finisher.h"

namespace q9 {

class Recording {
 public:
  // Names of the recording's own files.
  static constexpr char16_t kRequestsFile[] = u"requests.jsonl";
  static constexpr char16_t kStartupModelDigestFile[] = u"startup-model.sha256";
  // A file up to this size is hashed while it is copied; a larger one after its request, from
  // its copy, so that the request pays for the copy alone.
  static constexpr int64_t kHashWhileCopyingBytes = int64_t{8} << 20;

  // Whether a folder's name is a session's: "20261210-130509-4242". Only such folders are the
  // recording's own; nothing else in the recording folder is ever removed.
  static bool IsSessionName(std::u16string_view name);

  // Warnings go to `log`, which outlives the recording.
  explicit Recording(LogWriter& log);
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;
  // Waits for the lines of the steps that ended (WaitForLines).
  ~Recording();

  // What one request was, for its step's line.
  struct Request {
    std::optional<uint32_t> message;  // none for the start-up load
    std::string_view word;            // the command word that asks for it; empty when none
    std::string_view name;            // "model update", "start-up load"
    bool colorMode = false;
  };
  // A request begins. Looks once for the switch in `exchangeFolder`; when it is there, this
  // request's files are kept (its session's folder is made at the first such step).
  void BeginStep(const std::u16string& exchangeFolder, const Request& request);
  // Whether this request's files are kept.
  bool recording() const { return switch_.has_value(); }

  // The request has just opened its file `name` as `file` and has not read it yet: its bytes are
  // copied through that open file, which is then left at its start. A name kept once in a step
  // is not kept again (a container that one request opens twice).
  void KeepOpenFile(std::u16string_view name, std::FILE* file);
  // Keeps bytes the request wrote under `name` (the sync record).
  void KeepWritten(std::u16string_view name, std::string_view bytes);
  // The request looked for the file `name` and found none.
  void NoteMissing(std::u16string_view name);

  // How the request ended, for its step's line.
  using Outcome = StepFinisher::Outcome;
  // The request ends: its line is added to the session's "requests.jsonl", at once or, when a
  // digest is still to be made or an earlier line waits, once they are done.
  void EndStep(const Outcome& outcome);
  // Returns once the line of every step that ended is written, and logs the warnings of their
  // late parts (the destructor waits so too). A new step needs no wait.
  void WaitForLines();

  // The session folder's name: its start (UTC) and the process id, "20261210-130509-4242".
  const std::u16string& sessionName() const { return sessionName_; }

 private:
  using FileEntry = StepFinisher::File;
  bool StartSession();
  bool MakeRoom(int64_t bytes);
  int64_t OlderSessionsSize(std::vector<std::pair<std::u16string, int64_t>>* sessions);
  void FindEarlierStartupModel(int64_t length, StepFinisher::StartupModel& model);
  void CopyOpenFile(std::FILE* file, FileEntry& entry, const std::u16string& copy);
  void HashOnly(std::FILE* file, FileEntry& entry);
  bool EnsureStepFolder();
  void Warn(const std::string& what);
  // The warnings and bytes of the steps the finisher has finished since the last call.
  void TakeFinished();
  std::u16string SessionFolder() const;
  std::u16string StepFolder() const;

  LogWriter& log_;
  std::u16string sessionName_;
  std::optional<RecordingSwitch> switch_;  // while a step records
  bool sessionStarted_ = false;
  bool sessionUsable_ = false;
  std::u16string sessionRoot_;  // the recording folder the session lies in
  int64_t recordedBytes_ = 0;   // the recording's bytes as this session knows them
  uint32_t stepNumber_ = 0;     // steps handled by this process, recorded or not
  Request request_;
  std::string stepTime_;
  std::u16string stepFolderName_;
  bool stepFolderMade_ = false;
  bool warned_ = false;  // one warning a step is enough to tell that something is not kept
  std::vector<FileEntry> files_;
  std::optional<StepFinisher::StartupModel> startupModel_;
  StepFinisher finisher_;
};

}  // namespace q9
