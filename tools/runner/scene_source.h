// Where `view` and `export` take the received scene from: a journal or raw archive file, or a
// run of an exchange folder in process.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "received/scene_reader.h"

namespace q9x {

struct SceneSource {
  std::string file;                   // a journal or raw archive
  std::optional<std::string> folder;  // else: run this exchange folder in process
  std::optional<std::string> link;    // the link library for the run
  std::vector<std::string> words;     // the run's words, as for `q9x run`
};

// Why a scene could not be loaded.
enum class LoadFailure {
  Unreadable,       // the file, or the run's journal, could not be read or is neither form
  RunFailed,        // the run could not write a sync record
  RendererMissing,  // the run found no renderer
};

// Reads the source. For a folder: the start-up load and the words' requests as `q9x run` does
// them, through the reference library with a temporary journal that is read back and removed.
// Nothing, with a message on `err` and the reason on `failure`, when it cannot be read.
std::optional<ReadScene> LoadScene(const SceneSource& source, std::ostream& err,
                                   LoadFailure& failure);

}  // namespace q9x
