// The q9x dispatcher: the table of commands, the tool's own help, and the command line read
// once into the command it names. Each command lives in a file of its own (command.h).
#include "q9x/q9x.h"

#include <deque>
#include <iostream>

#include "base/version.h"
#include "common/environment.h"
#include "q9x/command.h"
#include "q9x/exit_status.h"

namespace q9x {

extern const Command kInspectCommand;
extern const Command kPackCommand;
extern const Command kRunCommand;
extern const Command kDoctorCommand;
extern const Command kSummaryCommand;
extern const Command kDiffCommand;
extern const Command kViewCommand;
extern const Command kExportCommand;
extern const Command kRecordCommand;
extern const Command kBundleCommand;
extern const Command kReplayCommand;

namespace {

// Every command, in the order "q9x help" lists them.
const Command* const kCommands[] = {&kInspectCommand, &kPackCommand,    &kRunCommand,
                                    &kDoctorCommand,  &kSummaryCommand, &kDiffCommand,
                                    &kViewCommand,    &kExportCommand,  &kRecordCommand,
                                    &kBundleCommand,  &kReplayCommand};

constexpr const char* kHelpSynopsis =
    "  help [COMMAND]               this text, or a command's\n";

constexpr const char* kHelpHead = R"(q9x - scene containers and the working instance, without a window

usage: q9x COMMAND [ARGUMENTS]

commands:
)";

constexpr const char* kHelpTail = R"(
examples:
  q9x inspect build/native/samples/_model.pdx
  q9x pack samples/model.json _model.pdx
  q9x run --folder build/native/samples ModelSync lightSync ModelSync
  q9x summary build/native/samples/Villa.q9a
  q9x diff before.jsonl build/windows/demo/journal.jsonl
  q9x doctor
  q9x view build/windows/demo/journal.jsonl -o view.png
  q9x record start
  q9x bundle --anonymise
  q9x replay customer-bundle -o replay

"q9x help COMMAND" or "q9x COMMAND --help" tells more; "q9x --version" the version. Exit status:
0 done, 1 a file could not be read or written (doctor: a problem found), 2 a wrong command line,
3 (run) the renderer is missing, 4 (inspect) the container is damaged, 5 (view, export) the scene
holds nothing to draw, 6 (diff) the two scenes differ, 7 (bundle) the bundle was refused, 8
(replay) a step's outcome differs from the customer's.
)";

std::string ToolHelp() {
  std::string help = kHelpHead;
  for (const Command* command : kCommands) help += command->synopsis;
  return help + kHelpSynopsis + kHelpTail;
}

// A command as the command line's parser knows it.
struct Declared {
  const Command* command;  // null for "help"
  CLI::App* app;
  std::function<int()> run;
  std::string Help() const { return command ? command->help : ToolHelp(); }
};

// The declared command that parsing reached, or null.
const Declared* Parsed(const std::deque<Declared>& declared) {
  for (const Declared& entry : declared) {
    if (entry.app->parsed()) return &entry;
  }
  return nullptr;
}

}  // namespace

int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Context context{out, err, &err == &std::cerr && ErrorIsTerminal()};
  CLI::App app{"q9x"};
  // "/path" is a path on every build, never a Windows-style option (set before the commands,
  // which take it over).
  app.allow_windows_style_options(false);
  app.set_help_flag("-h,--help");
  app.set_version_flag("--version", q9::VersionText("q9x"));
  app.require_subcommand(1);
  std::deque<Declared> declared;  // stays where it is as commands are added
  for (const Command* command : kCommands) {
    CLI::App* sub = app.add_subcommand(command->name);
    declared.push_back({command, sub, command->declare(*sub, context)});
  }
  // "help [COMMAND]": the tool's help or a command's, on standard output.
  auto topic = std::make_shared<std::string>();
  CLI::App* help = app.add_subcommand("help");
  help->add_option("COMMAND", *topic);
  declared.push_back({nullptr, help, [topic, &context] {
                        if (topic->empty()) {
                          context.out << ToolHelp();
                          return kOk;
                        }
                        for (const Command* command : kCommands) {
                          if (*topic == command->name) {
                            context.out << command->help;
                            return kOk;
                          }
                        }
                        return context.Wrong("", "unknown command \"" + *topic + "\"");
                      }});
  for (Declared& entry : declared) entry.app->set_help_flag("-h,--help");

  // CLI11 takes the words last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    const Declared* command = Parsed(declared);
    out << (command ? command->Help() : ToolHelp());
    return kOk;
  } catch (const CLI::CallForVersion& version) {
    out << version.what() << "\n";
    return kOk;
  } catch (const CLI::ParseError& error) {
    const Declared* command = Parsed(declared);
    if (!command) {
      if (args.empty()) return context.Wrong("", "no command given");
      if (!args[0].empty() && args[0][0] != '-') {
        return context.Wrong("", "unknown command \"" + args[0] + "\"");
      }
    }
    return context.Wrong(command ? command->app->get_name() : "", error.what());
  }
  const Declared* command = Parsed(declared);
  return command ? command->run() : context.Wrong("", "no command given");
}

}  // namespace q9x
