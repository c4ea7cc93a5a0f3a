#include "received/link_function.h"

#include <unordered_map>

namespace q9x {

LinkFunction FunctionNamed(std::string_view name) {
  static const std::unordered_map<std::string_view, LinkFunction> kFunctions = {
#define Q9_LINK_NAME(result, name, parameters, arguments) {#name, LinkFunction::name},
      Q9_LINK_FUNCTIONS(Q9_LINK_NAME)
#undef Q9_LINK_NAME
  };
  const auto at = kFunctions.find(name);
  return at == kFunctions.end() ? LinkFunction::Other : at->second;
}

}  // namespace q9x
