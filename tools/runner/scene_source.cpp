#include "runner/scene_source.h"

#include <filesystem>
#include <sstream>

#include "base/platform.h"
#include "common/environment.h"
#include "common/files.h"
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
  std::string error;
  if (!source.folder) {
    const std::optional<std::string> text = ReadWholeFile(source.file);
    if (!text) {
      err << "cannot read " << source.file << "\n";
      failure = LoadFailure::Unreadable;
      return std::nullopt;
    }
    std::optional<ReadScene> read = ParseSceneText(*text, error, false);
    if (!read) {
      err << source.file << ": " << error << "\n";
      failure = LoadFailure::Unreadable;
      return std::nullopt;
    }
    read->scene.source = source.file;
    return read;
  }

  // The run's calls go through the reference library into a journal of our own.
  const std::filesystem::path journal = TemporaryJournal();
  const std::u8string journalText = journal.u8string();
  const std::string journalPath(journalText.begin(), journalText.end());
  const std::optional<std::string> previous = ProcessVariable("Q9PLUGIN_JOURNAL");
  SetProcessVariable("Q9PLUGIN_JOURNAL", journalPath);
  RunOptions options;
  options.folder = source.folder;
  options.link = source.link;
  options.words = source.words;
  std::ostringstream notifications;
  const RunOutcome outcome = RunWorkingInstance(options, notifications, err);
  SetProcessVariable("Q9PLUGIN_JOURNAL", previous);
  const std::optional<std::string> text = ReadWholeFile(journalPath);
  std::error_code removeError;
  std::filesystem::remove(journal, removeError);
  if (outcome != RunOutcome::Done) {
    failure = outcome == RunOutcome::RendererMissing ? LoadFailure::RendererMissing
                                                     : LoadFailure::RunFailed;
    return std::nullopt;
  }
  std::optional<ReadScene> read = text ? ParseSceneText(*text, error, false) : std::nullopt;
  if (!read) {
    err << "the run of " << *source.folder << " left no journal to read"
        << (error.empty() ? "" : ": " + error) << "\n";
    failure = LoadFailure::Unreadable;
    return std::nullopt;
  }
  read->scene.source = *source.folder;
  return read;
}

}  // namespace q9x
