#include "runner/scene_source.h"

#include <filesystem>
#include <sstream>

#include "base/platform.h"
#include "common/environment.h"
#include "runner/working_instance.h"

namespace q9x {

namespace {

std::filesystem::path TemporaryJournal() {
  static int counter = 0;
  const uint32_t id = q9::platform::CurrentProcessId();
  std::error_code error;
  std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  if (error) folder = ".";
  return folder / ("q9x-journal-" + std::to_string(id) + "-" + std::to_string(++counter) + ".jsonl");
}

}  // namespace

Failure SceneFileFailure(const std::string& file, const ReadFailure& failure) {
  return {FailureKind::File, (failure.unreadable ? "" : file + ": ") + failure.message};
}

Outcome<ReadScene> LoadScene(const SceneSource& source, std::ostream& err) {
  ReadOptions options;
  options.holdMeshes = true;
  ReadFailure readFailure;
  if (!source.folder) {
    std::optional<ReadScene> read = ReadSceneFile(source.file, options, readFailure);
    if (!read) return SceneFileFailure(source.file, readFailure);
    if (!read->cutShort.empty()) err << source.file << ": " << read->cutShort << "\n";
    read->scene.source = source.file;
    return std::move(*read);
  }

  // The run's calls go through the reference library into a journal of our own.
  const std::filesystem::path journal = TemporaryJournal();
  const std::u8string journalText = journal.u8string();
  const std::string journalPath(journalText.begin(), journalText.end());
  const std::optional<std::string> previous = ProcessVariable("Q9PLUGIN_JOURNAL");
  SetProcessVariable("Q9PLUGIN_JOURNAL", journalPath);
  RunOptions run;
  run.folder = source.folder;
  run.link = source.link;
  run.words = source.words;
  std::ostringstream notifications;
  const Outcome<> ran = RunWorkingInstance(run, notifications, err);
  SetProcessVariable("Q9PLUGIN_JOURNAL", previous);
  std::optional<ReadScene> read;
  if (ran) read = ReadSceneFile(journalPath, options, readFailure);
  std::error_code removeError;
  std::filesystem::remove(journal, removeError);
  if (!ran) return ran.failure();
  if (!read) {
    return Failure{FailureKind::File,
                   "the run of " + *source.folder + " left no journal to read" +
                       (readFailure.unreadable ? "" : ": " + readFailure.message)};
  }
  read->scene.source = *source.folder;
  return std::move(*read);
}

}  // namespace q9x
