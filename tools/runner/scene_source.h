// Where `view` and `export` take the received scene from: a journal or raw archive file, or a
// run of an exchange folder in process.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/failure.h"
#include "received/scene_reader.h"

namespace q9x {

struct SceneSource {
  std::string file;                   // a journal or raw archive
  std::optional<std::string> folder;  // else: run this exchange folder in process
  std::optional<std::string> link;    // the link library for the run
  std::vector<std::string> words;     // the run's words, as for `q9x run`
};

// Reads the source. For a folder: the start-up load and the words' requests as `q9x run` does
// them, through the reference library with a temporary journal that is read back and removed.
// The failure when it cannot be read: the file's (kind File, naming the file), or the run's
// (RunWorkingInstance). What the reading notices without failing (a last line cut short) goes
// to `err`.
Outcome<ReadScene> LoadScene(const SceneSource& source, std::ostream& err);

// The failure of reading `file` as the scene reader told it: "FILE: WHAT", or the reader's own
// words when the file could not be read at all (they name it).
Failure SceneFileFailure(const std::string& file, const ReadFailure& failure);

}  // namespace q9x
