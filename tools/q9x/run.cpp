// q9x run: a working instance's work without a window.
#include <memory>

#include "q9x/command.h"
#include "q9x/exit_status.h"
#include "runner/working_instance.h"

namespace q9x {

namespace run_command {

constexpr const char* kHelp = R"(usage: q9x run [--folder DIR] [--link LIB] [--archive-dir DIR] WORD...

Does what the working instance does, without a window:
  1. acts as an instance started with the first WORD: writes "Args - " and the word to the log,
     sets the request ("cameraSync", "ModelSync", "lightSync", "viewsSync") or the colour mode
     ("colorMode");
  2. runs the start-up load: "_model.pdx" from the exchange folder to the renderer; when the
     renderer is missing, prints the message's caption and text to standard error and exits
     with status 3;
  3. handles the first word's request;
  4. handles each further WORD as if another instance had posted it: a command word as its
     message, a number from 1025 to 1029 as that message (1027 applies "_mod.sm" with log
     lines), "colorMode" and any other word post nothing;
  5. tears the session down and exits with status 0, or 1 when a sync record could not be
     written.
WORD is one of the command words cameraSync, ModelSync, lightSync, viewsSync, colorMode
(spelled exactly so), or one of the messages 1025, 1026, 1027, 1028, 1029; any other word is a
wrong command line.
Each notification of the host prints "host notified: 1137 0 10" on standard output.

--folder DIR   the exchange folder; otherwise the system's lookup (APPDATA, then the registry)
--link LIB     the link library; otherwise the reference library beside q9x
               (Q9Plugin.dll on Windows, libQ9Plugin.so natively). The reference library writes
               a journal of every call when Q9PLUGIN_JOURNAL names a file, and its raw archive
               beside the model file (see tools/q9plugin/README.md).
--archive-dir DIR
               the reference library writes its raw archive into DIR instead of beside the
               model file the container names (it sets Q9PLUGIN_ARCHIVE_DIR), so a run on a
               copied folder changes nothing outside it

example:
  Q9PLUGIN_JOURNAL=calls.jsonl q9x run --folder build/native/samples ModelSync lightSync ModelSync
)";

std::function<int()> Declare(CLI::App& sub, const Context& context) {
  auto options = std::make_shared<RunOptions>();
  auto folder = std::make_shared<std::string>();
  auto link = std::make_shared<std::string>();
  auto archive = std::make_shared<std::string>();
  CLI::Option* folderOption = sub.add_option("--folder", *folder);
  CLI::Option* linkOption = sub.add_option("--link", *link);
  CLI::Option* archiveOption = sub.add_option("--archive-dir", *archive);
  sub.add_option("WORD", options->words)
      ->check(CLI::Validator(
          [](std::string& word) {
            return RunWordAccepted(word) ? std::string()
                                         : "\"" + word + "\" is not one of " + RunWordsText();
          },
          "WORD"));
  return [=, &context] {
    if (folderOption->count() > 0) options->folder = *folder;
    if (linkOption->count() > 0) options->link = *link;
    if (archiveOption->count() > 0) options->archiveDir = *archive;
    options->progress = context.progress;
    const Outcome<> ran = RunWorkingInstance(*options, context.out, context.err);
    return ran ? kOk : context.Fail("run", ran.failure());
  };
}

}  // namespace run_command

extern const Command kRunCommand{
    "run",
    "  run [--folder DIR] [--link LIB] [--archive-dir DIR] WORD...\n"
    "                               do a working instance's work: start-up load, then the requests\n",
    run_command::kHelp, run_command::Declare};

}  // namespace q9x
