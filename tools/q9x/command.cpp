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

int LoadFailureStatus(LoadFailure failure) {
  return failure == LoadFailure::RendererMissing ? kRendererMissing : kFailed;
}

}  // namespace q9x
