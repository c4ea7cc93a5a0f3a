// Starting a child process with an explicit environment block (Windows build only). Wine always
// gives a process it starts an APPDATA of its own; a child started here gets exactly the
// environment the test asks for.
#pragma once

#include <map>
#include <optional>
#include <string>

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
  ChildProcess(const std::wstring& commandLine, const EnvironmentChanges& changes);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return process_ != nullptr; }
  // Waits up to `timeoutMs` for the child to end; true when it ended, with its exit code.
  bool Wait(unsigned long timeoutMs, unsigned long* exitCode = nullptr);
  bool Running();

 private:
  void* process_ = nullptr;
};

// Runs `commandLine` (program and arguments, as CreateProcessW takes them) with the environment
// changed as asked, waits up to `timeoutMs` for it to end and returns its exit code and output.
ChildResult RunChild(const std::wstring& commandLine, const EnvironmentChanges& changes,
                     unsigned long timeoutMs = 60000);

// The folder of the running test program, with a trailing backslash.
std::wstring ProgramFolder();

}  // namespace q9::test
