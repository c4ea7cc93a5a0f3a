// One `q9x` command run in the test's own process, with what it printed.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "q9x/exit_status.h"
#include "q9x/q9x.h"

namespace q9x {

struct Result {
  int status;
  std::string out;
  std::string err;
};

inline Result Q9x(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = Main(args, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace q9x
