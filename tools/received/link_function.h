// The link library's functions as a journal line's "fn" names them, made from the one list of
// them, Q9_LINK_FUNCTIONS in link/q9plugin_api.h: a function added there is known here too.
#pragma once

#include <cstdint>
#include <string_view>

#include "link/q9plugin_api.h"

namespace q9x {

// Every exported function, in the list's order after Other, which stands for any other name.
enum class LinkFunction : uint8_t {
  Other,
#define Q9_LINK_ENUMERATOR(result, name, parameters, arguments) name,
  Q9_LINK_FUNCTIONS(Q9_LINK_ENUMERATOR)
#undef Q9_LINK_ENUMERATOR
};

// The function of an exported name (exactly as exported); Other for any other text.
LinkFunction FunctionNamed(std::string_view name);

}  // namespace q9x
