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

std::optional<ReadScene> LoadScene(const SceneSource& source, std::ostream& err,
                                   LoadFailure& failure) {
  ReadOptions options;
  options.holdMeshes = true;
  ReadFailure readFailure;
  if (!source.folder) {
    std::optional<ReadScene> read = ReadSceneFile(source.file, options, readFailure);
    if (!read) {
      err << (readFailure.unreadable ? "" : source.file + ": ") << readFailure.message << "\n";
      failure = LoadFailure::Unreadable;
      return std::nullopt;
    }
    if (!read->cutShort.empty()) err << source.file << ": " << read->cutShort << "\n";
    read->scene.source = source.file;
    return read;
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
  const RunOutcome outcome = RunWorkingInstance(run, notifications, err);
  SetProcessVariable("Q9PLUGIN_JOURNAL", previous);
  std::optional<ReadScene> read;
  if (outcome == RunOutcome::Done) read = ReadSceneFile(journalPath, options, readFailure);
  std::error_code removeError;
  std::filesystem::remove(journal, removeError);
  if (outcome != RunOutcome::Done) {
    failure = outcome == RunOutcome::RendererMissing ? LoadFailure::RendererMissing
                                                     : LoadFailure::RunFailed;
    return std::nullopt;
  }
  if (!read) {
    err << "the run of " << *source.folder << " left no journal to read"
        << (readFailure.unreadable ? "" : ": " + readFailure.message) << "\n";
    failure = LoadFailure::Unreadable;
    return std::nullopt;
  }
  read->scene.source = *source.folder;
  return read;
}

}  // namespace q9x
