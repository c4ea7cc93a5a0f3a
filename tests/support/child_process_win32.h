// Starting a child process with an explicit environment block (Windows build only). Wine always
// gives a process it starts an APPDATA of its own; a child started here gets exactly the
// environment the test asks for.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>

#include "base/unique_handle_win32.h"

namespace q9::test {

struct ChildResult {
  bool started = false;
  unsigned long exitCode = 0;
  std::string output;  // everything the child wrote to its standard output
};

// The environment changes for a child: a name mapped to a value sets it, a name mapped to
// nullopt removes it; every other variable is inherited.
using EnvironmentChanges = std::map<std::wstring, std::optional<std::wstring>>;

// A child process started in the background, with the environment changed as asked. Its
// standard output is the test's. Terminated on destruction if it still runs.
class ChildProcess {
 public:
  // Suspended: the process is created but runs no code until Resume, so that several children
  // can be let go at the same moment.
  enum class Start { Running, Suspended };

  // `workingFolder`: the folder the child starts in; empty for the test's own.
  ChildProcess(const std::wstring& commandLine, const EnvironmentChanges& changes,
               Start start = Start::Running, const std::wstring& workingFolder = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return static_cast<bool>(process_); }
  // Lets a suspended child run.
  void Resume();
  // Waits up to `timeoutMs` for the child to end; true when it ended, with its exit code.
  bool Wait(unsigned long timeoutMs, unsigned long* exitCode = nullptr);
  bool Running();

 private:
  UniqueHandle process_;
  UniqueHandle thread_;  // the main thread, held only while it is suspended
};

// Runs `commandLine` (program and arguments, as CreateProcessW takes them) with the environment
// changed as asked, waits up to `timeoutMs` for it to end and returns its exit code and output.
// `workingFolder`: the folder the child starts in; empty for the test's own.
ChildResult RunChild(const std::wstring& commandLine, const EnvironmentChanges& changes,
                     unsigned long timeoutMs = 60000, const std::wstring& workingFolder = {});

// The folder of the running test program, with a trailing backslash.
std::wstring ProgramFolder();

}  // namespace q9::test
