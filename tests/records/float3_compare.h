// Float triples compared and printed in test expectations.
#pragma once

#include <ostream>

#include "records/float3.h"

namespace q9 {

inline bool operator==(const Float3& a, const Float3& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}
inline void PrintTo(const Float3& f, std::ostream* os) { *os << f.x << " " << f.y << " " << f.z; }

}  // namespace q9
