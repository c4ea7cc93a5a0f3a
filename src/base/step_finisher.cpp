#include "base/step_finisher.h"

#include <algorithm>
#include <memory>

#include "base/json_writer.h"
#include "base/platform.h"
#include "base/text.h"

namespace q9 {

namespace {

constexpr size_t kReadBlock = size_t{1} << 20;

std::string Shown(const std::u16string& path) { return "\"" + platform::DisplayPath(path) + "\""; }

// The step's first warning is the one it keeps.
void Warn(StepFinisher::Step& step, std::string& warning, std::string what) {
  if (step.warned) return;
  step.warned = true;
  warning = std::move(what);
}

void DigestOfCopy(StepFinisher::Step& step, StepFinisher::File& file, std::string& warning) {
  platform::FileError error;
  platform::UniqueFile copy = platform::OpenFile(file.digestOf, "rb", &error);
  if (copy) {
    platform::Sha256 hash;
    std::unique_ptr<char[]> block(new char[kReadBlock]);
    size_t got;
    while ((got = platform::ReadFromFile(copy.get(), block.get(), kReadBlock, &error)) > 0) {
      hash.Add(block.get(), got);
    }
    if (!std::ferror(copy.get())) {
      file.sha256 = hash.HexDigest();
      file.digestOf.clear();
      return;
    }
  }
  Warn(step, warning, "the SHA-256 of \"" + Utf8FromUtf16(file.name) + "\" could not be made from " +
                          Shown(file.digestOf) + ": " + error.text);
  file.digestOf.clear();
}

// The copy is given the earlier copy's bytes in one rename, so that its name always holds the
// whole model; when that cannot be done, the copy stays as it is.
void LinkToEarlierCopy(const StepFinisher::StartupModel& model, const StepFinisher::File& file) {
  if (model.earlierCopy.empty() ||
      model.earlierDigestLine != StartupModelDigestLine(file.sha256, file.size) ||
      platform::FileSize(model.earlierCopy) != file.size) {
    return;
  }
  const std::u16string link = model.copy + u".link";
  platform::RemovePath(link);
  if (!platform::LinkFile(model.earlierCopy, link) || !platform::RenameFile(link, model.copy, true)) {
    platform::RemovePath(link);
  }
}

std::string StepLine(const StepFinisher::Step& step) {
  std::string line;
  JsonWriter out(line);
  out.BeginObject();
  out.Key("step");
  out.Unsigned(step.number);
  out.Key("folder");
  out.String(step.folder);
  out.Key("time");
  out.String(step.time);
  out.Key("message");
  step.message ? out.Unsigned(*step.message) : out.Null();
  out.Key("word");
  step.word.empty() ? out.Null() : out.String(step.word);
  out.Key("request");
  out.String(step.request);
  out.Key("colorMode");
  out.Bool(step.colorMode);
  out.Key("files");
  out.BeginArray();
  for (const StepFinisher::File& file : step.files) {
    out.BeginObject();
    out.Key("name");
    out.String(Utf8FromUtf16(file.name));
    out.Key("size");
    out.Int(file.size);
    if (!file.sha256.empty()) {
      out.Key("sha256");
      out.String(file.sha256);
    }
    out.Key("kept");
    out.Bool(file.kept);
    if (!file.kept) {
      out.Key("reason");
      out.String(file.reason);
    }
    out.EndObject();
  }
  out.EndArray();
  out.Key("outcome");
  out.String(step.outcome.done ? "done" : "failed");
  out.Key("totalMs");
  out.Int(step.outcome.totalMs);
  out.Key("filesMs");
  out.Int(step.outcome.filesMs);
  out.Key("linkMs");
  out.Int(step.outcome.linkMs);
  out.Key("solidsSent");
  out.Unsigned(step.outcome.solidsSent);
  out.EndObject();
  line += "\n";
  return line;
}

bool WaitsForDigest(const StepFinisher::Step& step) {
  return std::any_of(step.files.begin(), step.files.end(),
                     [](const StepFinisher::File& file) { return !file.digestOf.empty(); });
}

}  // namespace

std::string StartupModelDigestLine(const std::string& digest, int64_t size) {
  return digest + " " + std::to_string(size) + "\n";
}

StepFinisher::~StepFinisher() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
  }
  wake_.notify_one();
  if (worker_.joinable()) worker_.join();
}

void StepFinisher::Finish(Step step) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (waiting_.empty() && !busy_ && !WaitsForDigest(step)) {
    lock.unlock();
    FinishNow(step);
    return;
  }
  try {
    if (!worker_.joinable()) worker_ = std::thread(&StepFinisher::Work, this);
    waiting_.push_back(std::move(step));
  } catch (...) {
    // No thread, or no memory for the queue (the step is then as it was): it is finished here,
    // after those that wait before it.
    lock.unlock();
    Wait();
    FinishNow(step);
    return;
  }
  lock.unlock();
  wake_.notify_one();
}

void StepFinisher::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return waiting_.empty() && !busy_; });
}

std::vector<std::string> StepFinisher::TakeWarnings() {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> taken;
  taken.swap(warnings_);
  return taken;
}

int64_t StepFinisher::TakeAddedBytes() {
  const std::lock_guard<std::mutex> lock(mutex_);
  const int64_t taken = addedBytes_;
  addedBytes_ = 0;
  return taken;
}

void StepFinisher::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return ending_ || !waiting_.empty(); });
    // Ending only once nothing waits: every step handed over gets its line.
    if (waiting_.empty()) return;
    Step step = std::move(waiting_.front());
    waiting_.pop_front();
    busy_ = true;
    lock.unlock();
    FinishNow(step);
    lock.lock();
    busy_ = false;
    if (waiting_.empty()) idle_.notify_all();
  }
}

void StepFinisher::FinishNow(Step& step) {
  std::string warning;
  int64_t added = 0;
  try {
    for (File& file : step.files) {
      if (!file.digestOf.empty()) DigestOfCopy(step, file, warning);
    }
    if (step.startupModel && step.startupModel->file < step.files.size()) {
      const File& model = step.files[step.startupModel->file];
      if (!model.sha256.empty()) {
        if (model.kept) LinkToEarlierCopy(*step.startupModel, model);
        const std::string digestLine = StartupModelDigestLine(model.sha256, model.size);
        if (platform::AppendToFile(step.startupModel->digestFile, digestLine)) {
          added += static_cast<int64_t>(digestLine.size());
        }
      }
    }
    const std::string line = StepLine(step);
    platform::FileError error;
    if (platform::AppendToFile(step.requestsFile, line, &error)) {
      added += static_cast<int64_t>(line.size());
    } else {
      Warn(step, warning, "the step's line could not be added to " + Shown(step.requestsFile) + ": " +
                              error.text);
    }
  } catch (...) {
    // Out of memory while a line was made: the step goes without its line, the process on.
    Warn(step, warning, "the line of step " + std::to_string(step.number) + " could not be made");
  }
  try {
    const std::lock_guard<std::mutex> lock(mutex_);
    addedBytes_ += added;
    if (!warning.empty()) warnings_.push_back(std::move(warning));
  } catch (...) {
  }
}

}  // namespace q9
