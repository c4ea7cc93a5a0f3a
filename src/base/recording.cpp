#include "base/recording.h"

#include <algorithm>
#include <ctime>
#include <memory>

#include "base/exchange_folder.h"
#include "base/platform.h"
#include "base/text.h"

namespace q9 {

namespace {

constexpr size_t kCopyBlock = size_t{1} << 20;

std::string UtcText(std::chrono::system_clock::time_point when, const char* format) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  char text[32] = {};
  if (const std::tm* utc = std::gmtime(&seconds)) std::strftime(text, sizeof text, format, utc);
  return text;
}

std::string Shown(const std::u16string& path) { return "\"" + platform::DisplayPath(path) + "\""; }

// The bytes of a session: its own files and those of its step folders, one level down.
int64_t SessionSize(const std::u16string& folder) {
  int64_t size = 0;
  for (const platform::FolderEntry& entry : platform::ListFolder(folder)) {
    if (!entry.isFolder) {
      size += entry.size;
      continue;
    }
    for (const platform::FolderEntry& file : platform::ListFolder(FolderFilePath(folder, entry.name))) {
      size += file.size;
    }
  }
  return size;
}

}  // namespace

bool Recording::IsSessionName(std::u16string_view name) {
  if (name.size() < 17 || name[8] != u'-' || name[15] != u'-') return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (i != 8 && i != 15 && (name[i] < u'0' || name[i] > u'9')) return false;
  }
  return true;
}

Recording::Recording(LogWriter& log) : log_(log) {
  const auto now = std::chrono::system_clock::now();
  sessionName_ = Ascii16(UtcText(now, "%Y%m%d-%H%M%S") + "-" +
                         std::to_string(platform::CurrentProcessId()));
}

Recording::~Recording() { WaitForLines(); }

void Recording::WaitForLines() {
  finisher_.Wait();
  TakeFinished();
}

void Recording::TakeFinished() {
  recordedBytes_ += finisher_.TakeAddedBytes();
  for (const std::string& what : finisher_.TakeWarnings()) {
    log_.WriteLine("Warning: recording: " + what + "; the request is handled as usual");
  }
}

void Recording::BeginStep(const std::u16string& exchangeFolder, const Request& request) {
  ++stepNumber_;
  TakeFinished();
  switch_.reset();
  files_.clear();
  startupModel_.reset();
  warned_ = false;
  stepFolderMade_ = false;
  const std::u16string switchPath = FolderFilePath(exchangeFolder, RecordingSwitch::kFileName);
  // The one check a request makes when nothing is recorded.
  const int64_t switchSize = platform::FileSize(switchPath);
  if (switchSize < 0) return;
  request_ = request;
  const auto now = std::chrono::system_clock::now();
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::string ms = std::to_string(millis);
  stepTime_ = UtcText(now, "%Y-%m-%dT%H:%M:%S.") + std::string(3 - ms.size(), '0') + ms + "Z";
  std::string number = std::to_string(stepNumber_);
  if (number.size() < 4) number.insert(0, 4 - number.size(), '0');
  stepFolderName_ = Ascii16(number + "-" +
                            (request.message ? std::to_string(*request.message) : "startup"));

  std::string text;
  std::string problem = "it is larger than " + std::to_string(RecordingSwitch::kMostBytes) + " bytes";
  if (switchSize <= RecordingSwitch::kMostBytes) {
    platform::FileError error;
    platform::UniqueFile file = platform::OpenFile(switchPath, "rb", &error);
    problem = error.text;
    if (file) {
      text.resize(static_cast<size_t>(switchSize));
      text.resize(platform::ReadFromFile(file.get(), text.data(), text.size(), &error));
      std::optional<RecordingSwitch> parsed = ParseRecordingSwitch(text, problem);
      if (parsed) switch_ = std::move(parsed);
    }
  }
  if (!switch_) {
    Warn("the recording switch " + Shown(switchPath) + " is not used: " + problem);
    return;
  }
  if (!StartSession()) switch_.reset();
}

bool Recording::StartSession() {
  // A switch that names another folder starts the session again there.
  if (sessionStarted_ && sessionRoot_ == switch_->folder) return sessionUsable_;
  sessionStarted_ = true;
  sessionRoot_ = switch_->folder;
  platform::FileError error;
  sessionUsable_ = platform::CreateFolders(SessionFolder(), &error);
  if (!sessionUsable_) {
    Warn("the recording folder " + Shown(SessionFolder()) + " could not be made: " + error.text +
         "; nothing of this session is recorded there");
    return false;
  }
  recordedBytes_ = OlderSessionsSize(nullptr) + SessionSize(SessionFolder());
  return true;
}

int64_t Recording::OlderSessionsSize(std::vector<std::pair<std::u16string, int64_t>>* sessions) {
  int64_t size = 0;
  for (const platform::FolderEntry& entry : platform::ListFolder(sessionRoot_)) {
    if (!entry.isFolder || !IsSessionName(entry.name) || entry.name == sessionName_) continue;
    const std::u16string folder = FolderFilePath(sessionRoot_, entry.name);
    const int64_t bytes = SessionSize(folder);
    size += bytes;
    if (sessions) sessions->emplace_back(folder, bytes);
  }
  return size;
}

bool Recording::MakeRoom(int64_t bytes) {
  recordedBytes_ += finisher_.TakeAddedBytes();
  const int64_t limit = switch_->maxSize;
  if (recordedBytes_ + bytes <= limit) return true;
  std::vector<std::pair<std::u16string, int64_t>> sessions;
  OlderSessionsSize(&sessions);
  // Names begin with the start time: in name order, the oldest first.
  std::sort(sessions.begin(), sessions.end());
  for (const auto& [folder, size] : sessions) {
    if (recordedBytes_ + bytes <= limit) break;
    if (platform::RemoveTree(folder)) recordedBytes_ -= size;
  }
  return recordedBytes_ + bytes <= limit;
}

void Recording::KeepOpenFile(std::u16string_view name, std::FILE* file) {
  if (!recording() || !file) return;
  for (const FileEntry& entry : files_) {
    if (entry.name == name) return;
  }
  FileEntry& entry = files_.emplace_back();
  entry.name = std::u16string(name);
  const int64_t length = platform::FileLength(file);
  if (length < 0) {
    entry.reason = "its length could not be measured";
    Warn("\"" + Utf8FromUtf16(name) + "\" was not recorded: " + entry.reason);
    platform::SeekFile(file, 0);
    return;
  }
  entry.size = length;
  const std::string shown = "\"" + Utf8FromUtf16(name) + "\" (" + GroupedNumber(length) + " bytes)";
  if (length > switch_->maxSize) {
    entry.reason = "larger than the recording's limit of " + std::to_string(switch_->maxSize) + " bytes";
    Warn(shown + " is listed without its bytes: it is " + entry.reason);
    HashOnly(file, entry);
  } else if (!MakeRoom(length)) {
    entry.reason = "the recording is full (its limit is " + std::to_string(switch_->maxSize) +
                   " bytes and the running session is never cut)";
    Warn(shown + " is listed without its bytes: " + entry.reason);
    HashOnly(file, entry);
  } else if (EnsureStepFolder()) {
    const std::u16string copy = FolderFilePath(StepFolder(), name);
    CopyOpenFile(file, entry, copy);
    if (entry.kept) recordedBytes_ += length;
    if (!request_.message && name == u"_model.pdx") {
      StepFinisher::StartupModel& model = startupModel_.emplace();
      model.file = files_.size() - 1;
      model.copy = copy;
      model.digestFile = FolderFilePath(SessionFolder(), kStartupModelDigestFile);
      if (entry.kept) FindEarlierStartupModel(entry.size, model);
    }
  } else {
    entry.reason = "the step's folder could not be made";
    HashOnly(file, entry);
  }
  platform::SeekFile(file, 0);
}

void Recording::FindEarlierStartupModel(int64_t length, StepFinisher::StartupModel& model) {
  // The newest earlier session with a digest line of this length. Whether its model is this one
  // is known once the copy's digest is: only then is the copy linked to it (step_finisher.h).
  std::vector<std::u16string> sessions;
  for (const platform::FolderEntry& entry : platform::ListFolder(sessionRoot_)) {
    if (entry.isFolder && IsSessionName(entry.name) && entry.name != sessionName_) {
      sessions.push_back(entry.name);
    }
  }
  std::sort(sessions.begin(), sessions.end());
  const int64_t lineSize = 66 + static_cast<int64_t>(std::to_string(length).size());
  for (auto session = sessions.rbegin(); session != sessions.rend(); ++session) {
    const std::u16string folder = FolderFilePath(sessionRoot_, *session);
    const std::u16string digestPath = FolderFilePath(folder, kStartupModelDigestFile);
    if (platform::FileSize(digestPath) != lineSize) continue;
    platform::UniqueFile digestFile = platform::OpenFile(digestPath, "rb");
    std::string line(static_cast<size_t>(lineSize), '\0');
    line.resize(digestFile ? platform::ReadFromFile(digestFile.get(), line.data(), line.size()) : 0);
    if (line.size() < 64) continue;
    model.earlierCopy = FolderFilePath(FolderFilePath(folder, u"0001-startup"), u"_model.pdx");
    model.earlierDigestLine = std::move(line);
    return;
  }
}

void Recording::CopyOpenFile(std::FILE* file, FileEntry& entry, const std::u16string& copy) {
  platform::FileError error;
  platform::UniqueFile out = platform::OpenFile(copy, "wb", &error);
  bool ok = out != nullptr && platform::SeekFile(file, 0, &error);
  const bool hashWhileCopying = entry.size <= kHashWhileCopyingBytes;
  platform::Sha256 hash;
  std::unique_ptr<char[]> block(new char[kCopyBlock]);
  int64_t copied = 0;
  bool readWhole = false;
  while (ok) {
    const size_t got = platform::ReadFromFile(file, block.get(), kCopyBlock, &error);
    if (got == 0) {
      readWhole = !std::ferror(file);
      ok = readWhole;
      break;
    }
    if (hashWhileCopying) hash.Add(block.get(), got);
    copied += static_cast<int64_t>(got);
    ok = platform::WriteToFile(out.get(), std::string_view(block.get(), got), &error);
  }
  if (out) ok = platform::FinishFile(std::move(out), ok ? &error : nullptr) && ok;
  if (ok) {
    // A file that grew or shrank while it was read is kept as it was read.
    entry.size = copied;
    entry.kept = true;
    if (hashWhileCopying) {
      entry.sha256 = hash.HexDigest();
    } else {
      entry.digestOf = copy;
    }
    return;
  }
  platform::RemovePath(copy);
  entry.reason = error.text.empty() ? "it could not be copied" : error.text;
  Warn("\"" + Utf8FromUtf16(entry.name) + "\" was not recorded: " + Shown(copy) + ": " +
       entry.reason);
  if (readWhole && hashWhileCopying) {
    entry.sha256 = hash.HexDigest();
    entry.size = copied;
  } else if (!std::ferror(file)) {
    // The copy stopped before the end (a full disk) or was never hashed: the digest is that of
    // the whole file, read once more.
    HashOnly(file, entry);
  }
}

void Recording::HashOnly(std::FILE* file, FileEntry& entry) {
  if (!platform::SeekFile(file, 0)) return;
  platform::Sha256 hash;
  std::unique_ptr<char[]> block(new char[kCopyBlock]);
  size_t got;
  while ((got = platform::ReadFromFile(file, block.get(), kCopyBlock)) > 0) hash.Add(block.get(), got);
  if (!std::ferror(file)) entry.sha256 = hash.HexDigest();
}

void Recording::KeepWritten(std::u16string_view name, std::string_view bytes) {
  if (!recording()) return;
  FileEntry& entry = files_.emplace_back();
  entry.name = std::u16string(name);
  entry.size = static_cast<int64_t>(bytes.size());
  platform::Sha256 hash;
  hash.Add(bytes.data(), bytes.size());
  entry.sha256 = hash.HexDigest();
  if (!MakeRoom(entry.size)) {
    entry.reason = "the recording is full";
    Warn("\"" + Utf8FromUtf16(name) + "\" is listed without its bytes: " + entry.reason);
    return;
  }
  if (!EnsureStepFolder()) {
    entry.reason = "the step's folder could not be made";
    return;
  }
  const std::u16string copy = FolderFilePath(StepFolder(), name);
  platform::FileError error;
  platform::UniqueFile out = platform::OpenFile(copy, "wb", &error);
  entry.kept = out && platform::WriteToFile(out.get(), bytes, &error) &&
               platform::FinishFile(std::move(out), &error);
  if (entry.kept) {
    recordedBytes_ += entry.size;
    return;
  }
  platform::RemovePath(copy);
  entry.reason = error.text;
  Warn("\"" + Utf8FromUtf16(name) + "\" was not recorded: " + Shown(copy) + ": " + entry.reason);
}

void Recording::NoteMissing(std::u16string_view name) {
  if (!recording()) return;
  FileEntry& entry = files_.emplace_back();
  entry.name = std::u16string(name);
  entry.reason = "not found";
}

void Recording::EndStep(const Outcome& outcome) {
  if (!recording()) return;
  StepFinisher::Step step;
  step.number = stepNumber_;
  step.folder = Utf8FromUtf16(stepFolderName_);
  step.time = stepTime_;
  step.message = request_.message;
  step.word = std::string(request_.word);
  step.request = std::string(request_.name);
  step.colorMode = request_.colorMode;
  step.files = std::move(files_);
  step.startupModel = std::move(startupModel_);
  step.outcome = outcome;
  step.requestsFile = FolderFilePath(SessionFolder(), kRequestsFile);
  step.warned = warned_;
  finisher_.Finish(std::move(step));
  TakeFinished();
  files_.clear();
  startupModel_.reset();
  switch_.reset();
}

bool Recording::EnsureStepFolder() {
  if (stepFolderMade_) return true;
  platform::FileError error;
  stepFolderMade_ = platform::CreateFolders(StepFolder(), &error);
  if (!stepFolderMade_) {
    Warn("the recording's step folder " + Shown(StepFolder()) + " could not be made: " + error.text);
  }
  return stepFolderMade_;
}

void Recording::Warn(const std::string& what) {
  if (warned_) return;
  warned_ = true;
  log_.WriteLine("Warning: recording: " + what + "; the request is handled as usual");
}

std::u16string Recording::SessionFolder() const { return FolderFilePath(sessionRoot_, sessionName_); }

std::u16string Recording::StepFolder() const { return FolderFilePath(SessionFolder(), stepFolderName_); }

}  // namespace q9
