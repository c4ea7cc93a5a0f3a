// Three single-precision floats: a position, a direction or a colour, in the host's own
// coordinates and units.
#pragma once

namespace q9 {

struct Float3 {
  float x = 0;
  float y = 0;
  float z = 0;
};

}  // namespace q9
