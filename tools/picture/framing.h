// A camera for a scene that sent none: the box around everything a picture can show, and a view
// from above that frames it.
#pragma once

#include <cstdint>

#include "picture/camera.h"
#include "received/received_scene.h"

namespace q9x {

// The box around the held triangles (their corners through their node's matrix) and the lights'
// positions (the translation of their "transform"). A triangle with a corner that is not finite
// is left out whole, as the picture leaves it out; so is a light position that is not finite.
struct SceneBounds {
  Vec3d low, high;          // meaningful when not Empty()
  int64_t triangles = 0;    // triangles inside
  int64_t lights = 0;       // light positions inside
  int64_t leftOut = 0;      // triangles and light positions left out for a value that is not finite
  bool Empty() const { return triangles == 0 && lights == 0; }
};
SceneBounds BoundsOf(const ReceivedScene& scene);

// A camera and the near plane that go with it.
struct FittedCamera {
  ReceivedCamera camera;
  double nearPlane = 1e-3;  // the distance in front of the eye below which nothing is drawn
};

// A camera that shows all of `bounds` in a picture `aspect` times as wide as high: from the
// front right, 30 degrees above the box's centre (the host's axes are Z-up), 60 degrees across,
// at a distance where the box's enclosing sphere fits with a margin. A box of no size (one point)
// gets a frame of radius 1 around it (more far from the origin, so that the camera's single
// precision can still tell it from the point). Empty bounds give a camera at (0, -1, 0) looking
// at the origin. Every value of the camera is finite.
FittedCamera FitCamera(const SceneBounds& bounds, double aspect);

}  // namespace q9x
