// What a q9x command is made of, and what the commands share: where they write, how a wrong
// command line and a failure are told, progress on a terminal, and the scene source of `view`
// and `export` with what they say of a scene that holds nothing to draw.
// The dispatcher (q9x.cpp) holds the table of commands; a command never includes it. The
// commands are compiled as one unit (CLI11 is costly to compile), so each keeps its own names in
// a namespace named for it (`view_command`), never in an anonymous one.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/failure.h"
#include "picture/framing.h"
#include "runner/scene_source.h"

namespace q9x {

// Where a command writes.
struct Context {
  std::ostream& out;
  std::ostream& err;
  bool progress;  // standard error is a terminal: long work shows how far it got

  // A wrong command line: one line naming the problem, one pointing at the help; status 2.
  // `command` empty for the tool's own command line.
  int Wrong(const std::string& command, const std::string& problem) const;
  // A step that failed: "q9x COMMAND: REASON" on standard error; the status of its kind
  // (exit_status.h).
  int Fail(const std::string& command, const Failure& failure) const;
};

// One command. `declare` adds its arguments and options to `sub` (the command's own parser)
// and returns what runs once the command line has been read, giving the exit status.
struct Command {
  const char* name;
  const char* synopsis;  // its lines in the list of "q9x help", indented and wrapped
  const char* help;      // "q9x help NAME" and "q9x NAME --help"
  std::function<int()> (*declare)(CLI::App& sub, const Context& context);
};

// Progress on standard error while long work goes on, only when it is a terminal that someone
// watches: one line, rewritten in place, cleared at the end.
class Progress {
 public:
  Progress(const Context& context, std::string what);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  // Shown once the work has taken half a second.
  void Step(size_t done, size_t total);

 private:
  bool show_;
  std::ostream& err_;
  std::string what_;
  std::chrono::steady_clock::time_point start_;
  bool shown_ = false;
  size_t width_ = 0;
};

// SOURCE, or --folder DIR [--link LIB] [WORD...], and -o FILE: what `view` and `export` read
// and where they write. Which form was given is checked once the line is parsed.
struct SceneArguments {
  std::vector<std::string> words;  // SOURCE alone, or the run's words with --folder
  std::string folder;
  std::string link;
  CLI::Option* folderOption = nullptr;
  CLI::Option* linkOption = nullptr;

  void AddTo(CLI::App& sub, std::string& output);
  // Fills `source`; the problem of a wrong command line, or empty.
  std::string Into(SceneSource& source) const;
};

// Why a picture or an export of `read` shows nothing, or empty when it has something to show: a
// raw archive (it holds no positions), nothing received, or nothing with a finite position.
// `bounds` are the scene's (BoundsOf).
std::string NothingToDraw(const ReadScene& read, const SceneBounds& bounds);

// The one wording of `view` and `export` for such a scene: "nothing to draw: WHY", of the kind
// NothingToShow. The command still writes its file (a picture whose caption says why, a glTF
// file with the nodes, materials and cameras there are), so that an earlier file of that name
// is never taken for this scene's.
Failure NothingToShow(const std::string& why);

}  // namespace q9x
