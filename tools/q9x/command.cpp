#include "q9x/command.h"

#include "q9x/exit_status.h"
#include "runner/working_instance.h"

namespace q9x {

int Context::Wrong(const std::string& command, const std::string& problem) const {
  err << "q9x" << (command.empty() ? "" : " " + command) << ": " << problem << "\n";
  if (command.empty()) {
    err << "See \"q9x help\" and \"q9x help COMMAND\".\n";
  } else {
    err << "See \"q9x help " << command << "\".\n";
  }
  return kUsage;
}

int Context::Fail(const std::string& command, const Failure& failure) const {
  err << "q9x " << command << ": " << failure.reason << "\n";
  return ExitStatus(failure.kind);
}

Progress::Progress(const Context& context, std::string what)
    : show_(context.progress), err_(context.err), what_(std::move(what)),
      start_(std::chrono::steady_clock::now()) {}

Progress::~Progress() {
  if (shown_) err_ << "\r" << std::string(width_, ' ') << "\r" << std::flush;
}

void Progress::Step(size_t done, size_t total) {
  if (!show_ || std::chrono::steady_clock::now() - start_ < std::chrono::milliseconds(500)) return;
  const std::string line = what_ + " " + std::to_string(done) + " of " + std::to_string(total);
  width_ = std::max(width_, line.size());
  err_ << "\r" << line << std::flush;
  shown_ = true;
}

void SceneArguments::AddTo(CLI::App& sub, std::string& output) {
  sub.add_option("SOURCE", words);
  folderOption = sub.add_option("--folder", folder);
  linkOption = sub.add_option("--link", link);
  sub.add_option("-o,--output", output)->required();
}

std::string SceneArguments::Into(SceneSource& source) const {
  if (folderOption->count() > 0) {
    for (const std::string& word : words) {
      if (!RunWordAccepted(word)) return "\"" + word + "\" is not a request word of q9x run";
    }
    source.folder = folder;
    if (linkOption->count() > 0) source.link = link;
    source.words = words;
    return {};
  }
  if (linkOption->count() > 0) return "--link goes with --folder";
  if (words.size() != 1) return "one SOURCE (a journal or raw archive), or --folder DIR";
  source.file = words[0];
  return {};
}

std::string NothingToDraw(const ReadScene& read, const SceneBounds& bounds) {
  if (!bounds.Empty()) return "";
  if (read.kind == ReadScene::Kind::Archive) {
    return "a raw archive holds no triangle positions (its journal holds them)";
  }
  if (bounds.leftOut > 0) return "no triangle or light has a finite position";
  if (read.scene.nodes.empty() && read.scene.lights.empty()) return "no node or light was received";
  return "no triangle was received and no light has a position";
}

Failure NothingToShow(const std::string& why) {
  return {FailureKind::NothingToShow, "nothing to draw: " + why};
}

}  // namespace q9x
