#include <cstdlib>

#include <unistd.h>

#include "common/environment.h"

namespace q9x {

void SetProcessVariable(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name.c_str());
  }
}

std::optional<std::string> ProcessVariable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

std::string DefaultRecordingFolder() {
  if (const std::optional<std::string> state = ProcessVariable("XDG_STATE_HOME"); state && !state->empty()) {
    return *state + "/q9_exchange/recording";
  }
  const std::optional<std::string> home = ProcessVariable("HOME");
  return home && !home->empty() ? *home + "/.local/state/q9_exchange/recording" : std::string();
}

bool ErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

bool WindowClassFound(const char*) { return false; }

}  // namespace q9x
