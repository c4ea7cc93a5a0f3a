#include "replay/replay.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <vector>

#include "base/platform.h"
#include "base/text.h"
#include "bundle/bundle_reader.h"
#include "common/environment.h"
#include "common/files.h"
#include "common/recorded_sessions.h"
#include "runner/working_instance.h"
#include "sync/requests.h"

namespace q9x {

namespace {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Utf8Path(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// What the replay copies of the folder: the files the requests read and write, and the folders
// of the texture maps and light profiles the records name.
constexpr const char* kCopiedFiles[] = {"_model.pdx", "_mod.sm", "camera.cam", "Views.cam", "_mod.sync"};
constexpr const char* kCopiedFolders[] = {"Textures", "IES"};

// Reads `in` to its end in blocks, handing each to `each` (false: stop); the SHA-256 of what was
// read, or nothing when reading (or `each`) failed.
template <typename Each>
std::optional<std::string> HashBlocks(std::FILE* in, Each&& each) {
  q9::platform::Sha256 hash;
  std::vector<char> block(size_t{1} << 20);
  for (;;) {
    const size_t got = std::fread(block.data(), 1, block.size(), in);
    if (got == 0) break;
    hash.Add(block.data(), got);
    if (!each(block.data(), got)) return std::nullopt;
  }
  if (std::ferror(in)) return std::nullopt;
  return hash.HexDigest();
}

// The SHA-256 of the file, or nothing when it cannot be read.
std::optional<std::string> FileDigest(const std::string& path) {
  const q9::platform::UniqueFile in = q9::platform::OpenFile(q9::Utf16FromUtf8(path), "rb");
  if (!in) return std::nullopt;
  return HashBlocks(in.get(), [](const char*, size_t) { return true; });
}

// Copies `from` over `to`, giving the SHA-256 of what was copied; nothing when either file fails.
std::optional<std::string> CopyHashed(const std::string& from, const std::string& to) {
  const q9::platform::UniqueFile in = q9::platform::OpenFile(q9::Utf16FromUtf8(from), "rb");
  q9::platform::UniqueFile out = q9::platform::OpenFile(q9::Utf16FromUtf8(to), "wb");
  if (!in || !out) return std::nullopt;
  std::FILE* stream = out.get();
  std::optional<std::string> digest =
      HashBlocks(in.get(), [stream](const char* bytes, size_t size) { return std::fwrite(bytes, 1, size, stream) == size; });
  if (!q9::platform::FinishFile(std::move(out), nullptr)) return std::nullopt;
  return digest;
}

// Regular files and folders only: a link in a folder from outside could point anywhere.
void CopyTree(const fs::path& from, const fs::path& to, std::error_code& error) {
  fs::create_directories(to, error);
  for (fs::recursive_directory_iterator it(from, error), end; !error && it != end; it.increment(error)) {
    const fs::path target = to / fs::relative(it->path(), from, error);
    if (it->is_symlink(error)) {
      if (it->is_directory(error)) it.disable_recursion_pending();
    } else if (it->is_directory(error)) {
      fs::create_directories(target, error);
    } else if (it->is_regular_file(error)) {
      fs::copy_file(it->path(), target, fs::copy_options::overwrite_existing, error);
    }
  }
}

Outcome<> CopyExchangeFiles(const std::string& folder, const std::string& copy) {
  std::error_code error;
  fs::remove_all(PathOf(copy), error);
  if (!error) fs::create_directories(PathOf(copy), error);
  for (const char* name : kCopiedFiles) {
    const fs::path from = PathOf(folder) / name;
    if (error || !fs::is_regular_file(from)) continue;
    fs::copy_file(from, PathOf(copy) / name, fs::copy_options::overwrite_existing, error);
  }
  for (const char* name : kCopiedFolders) {
    const fs::path from = PathOf(folder) / name;
    if (!error && fs::is_directory(fs::symlink_status(from))) CopyTree(from, PathOf(copy) / name, error);
  }
  if (error) return Failure{FailureKind::File, "cannot copy the exchange files into " + copy + ": " + error.message()};
  return Done{};
}

// The output folder: made when missing; else it must be empty or hold an earlier replay
// (its "steps.json"), whose own files this replay replaces.
Outcome<> PrepareOutput(const std::string& output) {
  const fs::path path = PathOf(output);
  std::error_code error;
  fs::create_directories(path, error);
  if (error || !fs::is_directory(path)) return Failure{FailureKind::File, "cannot make the folder " + output};
  if (!fs::is_empty(path, error) && !fs::is_regular_file(path / "steps.json")) {
    return Failure{FailureKind::File, output + " holds other files than a replay's: give an empty or new folder"};
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(path, error)) {
    const std::string name = Utf8Path(entry.path().filename());
    if (name == "journal.jsonl" || (name.rfind("view-", 0) == 0 && entry.path().extension() == ".png")) {
      fs::remove(entry.path(), error);
    } else if (name == "bundle" && entry.is_directory(error)) {
      fs::remove_all(entry.path(), error);
    }
  }
  if (error) return Failure{FailureKind::File, "cannot clear the earlier replay in " + output + ": " + error.message()};
  return Done{};
}

// Names at most ten of `names` on `err`, after `what`.
void NameSome(const std::vector<std::string>& names, const std::string& what, std::ostream& err) {
  if (names.empty()) return;
  err << "q9x replay: " << what << " (" << names.size() << "):";
  for (size_t i = 0; i < names.size() && i < 10; ++i) err << " \"" << names[i] << "\"";
  err << (names.size() > 10 ? " ...\n" : "\n");
}

// The bundle unpacked into OUTPUT/bundle, which the caller has prepared.
Outcome<std::string> UnpackInto(const ReplayOptions& options, std::ostream& err) {
  const std::string folder = Utf8Path(PathOf(options.output) / "bundle");
  Outcome<bundle::Unpacked> unpacked = bundle::UnpackBundle(options.folder, folder, options.maxUnpackBytes);
  if (!unpacked) return unpacked.failure();
  NameSome(unpacked->passedOver, "members that are no part of a bundle, or not in its manifest, were not unpacked", err);
  NameSome(unpacked->missing, "members the bundle's manifest lists are not in it", err);
  return folder;
}

// The plan of the recording's session asked for, or of the log.
Outcome<ReplayPlan> ChoosePlan(const ReplayOptions& options, std::string& logUsed) {
  const std::string recording = Utf8Path(PathOf(options.folder) / "recording");
  const std::vector<RecordedSession> sessions = ListRecordedSessions(recording);
  if (!sessions.empty()) {
    if (options.session && (*options.session == 0 || *options.session > sessions.size())) {
      return Failure{FailureKind::File, "--session " + std::to_string(*options.session) + ": " + recording +
                                            " holds " + std::to_string(sessions.size()) + " sessions"};
    }
    return PlanFromRecording(sessions[options.session ? *options.session - 1 : sessions.size() - 1]);
  }
  if (options.session) return Failure{FailureKind::File, recording + " holds no recorded session"};
  std::string folderText = options.folder;
  while (folderText.size() > 1 && (folderText.back() == '/' || folderText.back() == '\\')) folderText.pop_back();
  const std::vector<std::string> candidates =
      options.log ? std::vector<std::string>{*options.log}
                  : std::vector<std::string>{Utf8Path(PathOf(options.folder) / "Q9_Log.log"), folderText + "Q9_Log.log"};
  for (const std::string& candidate : candidates) {
    if (!options.log && !fs::is_regular_file(PathOf(candidate))) continue;
    Outcome<std::optional<LoggedSession>> session = ReadLoggedSession(candidate);
    if (!session) return session.failure();
    if (!*session) return Failure{FailureKind::File, candidate + " holds no working session (no \"Init Start\" line)"};
    logUsed = candidate;
    return PlanFromLog(**session, candidate);
  }
  return Failure{FailureKind::File, options.folder + " holds no recording (recording/) and no log (Q9_Log.log); "
                                                     "--log FILE names the log"};
}

// Sets a variable of the process for the replay, and puts the old value back after it.
class ReplayVariable {
 public:
  explicit ReplayVariable(std::string name) : name_(std::move(name)), old_(ProcessVariable(name_)) {}
  ~ReplayVariable() { SetProcessVariable(name_, old_); }
  ReplayVariable(const ReplayVariable&) = delete;
  ReplayVariable& operator=(const ReplayVariable&) = delete;
  void Set(const std::string& value) { SetProcessVariable(name_, value); }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

std::string StepName(const ReplayStep& step) {
  return "step " + std::to_string(step.number) + " (" + step.request + ")";
}

// Puts the bytes the customer's request read in place: each kept file over the copy, each file
// the request found missing removed; a file it read whose bytes were not kept stays as it is,
// named unless it has the SHA-256 the request read.
void PlaceFiles(const ReplayStep& step, const std::string& exchange, StepRun& run, std::ostream& err) {
  for (const ReplayFile& file : step.files) {
    if (step.message == q9::kSyncModelMessage && file.name == "_mod.sync") continue;  // it writes it
    const std::string target = Utf8Path(PathOf(exchange) / file.name);
    if (file.size < 0) {
      std::error_code ignored;
      fs::remove(PathOf(target), ignored);
      run.files.emplace_back(file.name, "missing");
      continue;
    }
    const std::optional<std::string> placed = file.copy.empty() ? std::nullopt : CopyHashed(file.copy, target);
    if (placed) {
      if (!file.sha256.empty() && *placed != file.sha256) {
        err << "q9x replay: " << StepName(step) << ": the kept \"" << file.name
            << "\" is not the file the request read (its SHA-256 differs): replayed with it all the same\n";
      }
      run.files.emplace_back(file.name, "kept");
    } else if (!file.sha256.empty() && FileDigest(target) == file.sha256) {
      run.files.emplace_back(file.name, "unchanged");
    } else {
      err << "q9x replay: " << StepName(step) << ": the bytes of \"" << file.name << "\" were not kept ("
          << (file.copy.empty() ? file.reason : "cannot copy " + file.copy)
          << "): replayed against the file as it is\n";
      run.files.emplace_back(file.name, "as it is");
    }
  }
}

// After a model sync: whether the record the replay wrote has the bytes the customer's program
// wrote (the SHA-256 its line gives, else the kept copy's).
std::optional<bool> SameSyncRecord(const ReplayStep& step, const std::string& exchange) {
  for (const ReplayFile& file : step.files) {
    if (file.name != "_mod.sync" || file.size < 0) continue;
    const std::optional<std::string> recorded = !file.sha256.empty() ? std::optional<std::string>(file.sha256)
                                                : file.copy.empty()  ? std::nullopt
                                                                     : FileDigest(file.copy);
    if (!recorded) return std::nullopt;
    return FileDigest(Utf8Path(PathOf(exchange) / "_mod.sync")) == recorded;
  }
  return std::nullopt;
}

// The replay's own timed lines, request by request, onto the steps.
void ReadOwnTimings(const std::string& log, ReplayRun& replay) {
  const Outcome<std::optional<LoggedSession>> own = ReadLoggedSession(log);
  if (!own || !*own || !(*own)->timed) return;
  const std::vector<LoggedRequest>& requests = (*own)->requests;
  for (size_t i = 0; i < requests.size() && i < replay.runs.size(); ++i) replay.runs[i].durations = requests[i].durations;
}

}  // namespace

Outcome<ReplayRun> ReplayFolder(const ReplayOptions& given, std::ostream& err) {
  ReplayOptions options = given;
  const bool bundled = !IsFolder(options.folder);
  if (bundled) {
    std::error_code error;
    if (!fs::is_regular_file(PathOf(options.folder), error)) {
      return Failure{FailureKind::File, options.folder + " is neither a folder nor a bundle"};
    }
    // The output is made first: the bundle is unpacked into it.
    if (Outcome<> prepared = PrepareOutput(options.output); !prepared) return prepared.failure();
    Outcome<std::string> unpacked = UnpackInto(options, err);
    if (!unpacked) {
      // A refused bundle leaves no folder of its own behind.
      std::error_code ignored;
      if (fs::is_empty(PathOf(options.output), ignored)) fs::remove(PathOf(options.output), ignored);
      return unpacked.failure();
    }
    options.folder = *unpacked;
  }
  ReplayRun replay;
  replay.folder = options.folder;
  Outcome<ReplayPlan> plan = ChoosePlan(options, replay.log);
  if (!plan) return plan.failure();
  replay.plan = std::move(*plan);
  for (const std::string& note : replay.plan.notes) err << "q9x replay: " << note << "\n";
  if (!bundled) {
    if (Outcome<> prepared = PrepareOutput(options.output); !prepared) return prepared.failure();
  }
  replay.output = options.output;
  // Absolute, as a customer's exchange folder is: the renderer gets the paths of its texture maps
  // and light profiles, and may resolve them from another working folder than q9x's.
  std::error_code absoluteError;
  const fs::path output = fs::absolute(PathOf(options.output), absoluteError);
  replay.exchange = Utf8Path((absoluteError ? PathOf(options.output) : output) / "folder");
  replay.journal = Utf8Path(PathOf(options.output) / "journal.jsonl");
  if (Outcome<> copied = CopyExchangeFiles(options.folder, replay.exchange); !copied) return copied.failure();

  RunOptions run;
  // With a separator at its end, the exchange folder's log ("folder" + "Q9_Log.log") lies inside it.
  run.folder = replay.exchange + "\\";
  run.link = options.link;
  run.archiveDir = options.output;
  if (replay.plan.startWord) run.words.push_back(*replay.plan.startWord);
  // Every request after the start-up load is named as its message: the recorded order is the one
  // run, the working instance's own request included.
  run.firstWordRequest = false;
  // An instance started without a command word: an empty first word, so that the further words
  // keep their places (its log gets an "Args - " line the customer's did not).
  if (!replay.plan.startWord) run.words.push_back("");
  for (size_t i = 1; i < replay.plan.steps.size(); ++i) run.words.push_back(std::to_string(*replay.plan.steps[i].message));
  replay.runs.resize(replay.plan.steps.size());

  ReplayVariable journal("Q9PLUGIN_JOURNAL");
  ReplayVariable step("Q9PLUGIN_STEP");
  journal.Set(replay.journal);
  size_t next = 0;  // the plan's step the dispatcher comes to next
  run.beforeRequest = [&](std::optional<uint32_t>) {
    const ReplayStep& planned = replay.plan.steps[next];
    step.Set(std::to_string(planned.number));
    PlaceFiles(planned, replay.exchange, replay.runs[next], err);
  };
  run.afterRequest = [&](std::optional<uint32_t>, bool done) {
    replay.runs[next].ran = true;
    replay.runs[next].done = done;
    replay.runs[next].syncRecordSame = SameSyncRecord(replay.plan.steps[next], replay.exchange);
    if (next + 1 < replay.plan.steps.size()) ++next;
  };
  std::ostringstream notifications;
  const auto start = std::chrono::steady_clock::now();
  const Outcome<> ran = RunWorkingInstance(run, notifications, err);
  replay.replayMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  if (!ran && ran.failure().kind == FailureKind::RendererMissing) return ran.failure();
  ReadOwnTimings(Utf8Path(PathOf(replay.exchange) / "Q9_Log.log"), replay);
  return replay;
}

}  // namespace q9x
