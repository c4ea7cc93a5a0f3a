// The system's version, one for the program, its version resource and the tools.
#pragma once

namespace q9 {

constexpr char kVersion[] = Q9_VERSION;

}  // namespace q9
