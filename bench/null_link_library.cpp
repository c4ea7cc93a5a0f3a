// A link library whose every function does nothing: what the system itself costs, measured
// without any renderer work. Its answers make a session start and connect: StartLinkQ9Render
// gives 0, CreateSession a handle that is not null, HasConnected true; everything else gives
// the zero of its result.
#include <cstdint>
#include <type_traits>

#include "link/q9plugin_api.h"

namespace {

template <typename... Arguments>
void Ignore(const Arguments&...) {}

int sessionToken = 0;

template <typename Result>
Result Answer() {
  if constexpr (std::is_same_v<Result, Q9Session>) {
    return &sessionToken;
  } else if constexpr (std::is_same_v<Result, bool>) {
    return true;
  } else if constexpr (!std::is_void_v<Result>) {
    return Result{};
  }
}

}  // namespace

#define Q9_NULL_EXPORT(result, name, parameters, arguments)                \
  extern "C" __attribute__((visibility("default"))) result name parameters { \
    Ignore arguments;                                                        \
    return Answer<result>();                                                 \
  }
Q9_LINK_FUNCTIONS(Q9_NULL_EXPORT)
#undef Q9_NULL_EXPORT
