// The system's version, one for the program, its version resource and the tools.
#pragma once

#include <string>
#include <string_view>

namespace q9 {

constexpr char kVersion[] = Q9_VERSION;

// The commit the build comes from, e.g. "02b7552c1a2b" or "02b7552c1a2b with local changes";
// empty when the build did not know it (no git work tree). Defined in a source file that every
// build generates (cmake/build-commit.cmake); programs that use it link q9buildcommit.
extern const char kBuildCommit[];

// "PROGRAM VERSION (commit COMMIT)", or "PROGRAM VERSION" without a known commit.
inline std::string VersionText(std::string_view program) {
  std::string text = std::string(program) + " " + kVersion;
  if (kBuildCommit[0] != '\0') text += std::string(" (commit ") + kBuildCommit + ")";
  return text;
}

}  // namespace q9
