// A link library whose every function does nothing: the least a load can cost on the link's side.
// StartLinkQ9Render gives 0 and CreateSession a handle, so that a session exists and a load runs.
#include <cstdint>
#include <type_traits>

#include "link/q9plugin_api.h"

#define NULL_LINK_DECLARE(result, name, parameters, arguments) \
  extern "C" __attribute__((visibility("default"))) result name parameters;
Q9_LINK_FUNCTIONS(NULL_LINK_DECLARE)
#undef NULL_LINK_DECLARE

namespace {

template <typename Result>
Result Nothing() {
  if constexpr (std::is_same_v<Result, Q9Session>) {
    return reinterpret_cast<Q9Session>(uintptr_t{1});
  } else if constexpr (std::is_same_v<Result, bool>) {
    return true;
  } else if constexpr (!std::is_void_v<Result>) {
    return Result{};
  }
}

}  // namespace

#define NULL_LINK_DEFINE(result, name, parameters, arguments) \
  result name parameters { return Nothing<result>(); }
Q9_LINK_FUNCTIONS(NULL_LINK_DEFINE)
#undef NULL_LINK_DEFINE
