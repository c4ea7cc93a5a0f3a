// A working instance's work without a window: what `q9x run` does, and how `view` and `export`
// run an exchange folder.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/failure.h"

namespace q9x {

struct RunOptions {
  std::optional<std::string> folder;  // the exchange folder; else the system's own lookup
  std::optional<std::string> link;    // the link library; else the reference library beside q9x
  std::optional<std::string> archiveDir;  // where the reference library writes its raw archive
  std::vector<std::string> words;     // the first is the instance's command word
  bool progress = false;              // tell on standard error what long work is at
  // False: the first word sets the request and the colour mode (and is logged) but its own
  // request is not handled; only the further words' are (a replay names every request itself).
  bool firstWordRequest = true;
  // Called before the start-up load (no message) and before each request is handed to the
  // dispatcher (its message); `afterRequest` after each, with whether it was done. Either may be
  // empty.
  std::function<void(std::optional<uint32_t> message)> beforeRequest;
  std::function<void(std::optional<uint32_t> message, bool done)> afterRequest;
};

// A word run takes: a command word (exactly as spelled) or a message number 1025 to 1029.
bool RunWordAccepted(const std::string& word);

// The words run takes, for messages: "cameraSync, ModelSync, ..., colorMode, 1025 to 1029".
std::string RunWordsText();

// Acts as the working instance started with the first word: logs the command line and sets the
// request and colour mode from it, runs the start-up load of "_model.pdx", handles the first
// word's request (unless `firstWordRequest` is false), then each further word as a forwarding
// instance would post it (a command word
// as its message, 1025 to 1029 as that message, anything else posts nothing), and tears the
// session down. Each notification of the host prints "host notified: 1137 0 10" to `out`; with
// `progress`, the loads of large containers are announced on `err`. With `archiveDir` the
// reference library's switch Q9PLUGIN_ARCHIVE_DIR is set for the run (and restored after it).
// Failures: RendererMissing, whose reason is the caption and text of the message the system
// shows (two lines); File when a sync record could not be written (it names the record).
Outcome<> RunWorkingInstance(const RunOptions& options, std::ostream& out, std::ostream& err);

// The message a further word posts, or none.
std::optional<uint32_t> WordMessage(const std::string& word);

// The reference link library beside the running program: "Q9Plugin.dll" through the DLL search
// (the program's folder first, never the working folder: q9x's Windows entry point takes it out
// as Q9_Exchange.exe does) on Windows, libQ9Plugin.so in the program's folder natively.
std::u16string DefaultLinkLibrary();

}  // namespace q9x
