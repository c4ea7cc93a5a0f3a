#include "picture/framing.h"

#include <algorithm>
#include <limits>

namespace q9x {

namespace {

// A double as a float, held inside the float range (converting a value beyond it is undefined).
float Narrow(double value) {
  constexpr double kLargest = std::numeric_limits<float>::max();
  return static_cast<float>(std::clamp(value, -kLargest, kLargest));
}

Vec3 Narrow(Vec3d v) { return {Narrow(v.x), Narrow(v.y), Narrow(v.z)}; }

}  // namespace

SceneBounds BoundsOf(const ReceivedScene& scene) {
  SceneBounds bounds;
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  bounds.low = {kInfinity, kInfinity, kInfinity};
  bounds.high = {-kInfinity, -kInfinity, -kInfinity};
  auto add = [&bounds](Vec3d p) {
    bounds.low = {std::min(bounds.low.x, p.x), std::min(bounds.low.y, p.y), std::min(bounds.low.z, p.z)};
    bounds.high = {std::max(bounds.high.x, p.x), std::max(bounds.high.y, p.y), std::max(bounds.high.z, p.z)};
  };
  for (const auto& [name, node] : scene.nodes) {
    const Matrix* matrix = node.matrix && !IsIdentity(*node.matrix) ? &*node.matrix : nullptr;
    for (const ReceivedMesh& mesh : node.meshes) {
      const float* p = mesh.positions.data();
      for (size_t t = 0; t < mesh.HeldTriangles(); ++t, p += 9) {
        Vec3d corners[3];
        bool finite = true;
        for (int k = 0; k < 3; ++k) {
          corners[k] = {p[3 * k], p[3 * k + 1], p[3 * k + 2]};
          if (matrix) corners[k] = TransformPoint(*matrix, corners[k]);
          finite = finite && IsFinite(corners[k]);
        }
        if (!finite) {
          ++bounds.leftOut;
          continue;
        }
        for (const Vec3d& corner : corners) add(corner);
        ++bounds.triangles;
      }
    }
  }
  for (const auto& [name, light] : scene.lights) {
    const std::optional<Matrix> transform = light.Transform();
    if (!transform) continue;
    const Vec3d position{(*transform)[12], (*transform)[13], (*transform)[14]};
    if (!IsFinite(position)) {
      ++bounds.leftOut;
      continue;
    }
    add(position);
    ++bounds.lights;
  }
  return bounds;
}

FittedCamera FitCamera(const SceneBounds& bounds, double aspect) {
  FittedCamera fitted;
  ReceivedCamera& camera = fitted.camera;
  camera.up = {0, 0, 1};
  camera.fov = camera.blockFov = 60;
  if (bounds.Empty()) {
    camera.from = {0, -1, 0};
    return fitted;
  }
  const Vec3d centre = bounds.low * 0.5 + bounds.high * 0.5;
  double radius = Length(bounds.high - bounds.low) * 0.5;
  // Single precision tells points apart at about 1e-7 of their distance from the origin; a frame
  // a hundred times larger keeps the camera's direction sound.
  const double far = std::max({std::fabs(centre.x), std::fabs(centre.y), std::fabs(centre.z)});
  if (radius == 0) radius = std::max(1.0, 1e-5 * far);
  radius = std::clamp(radius, std::max(1e-5 * far, 1e-30), 1e36);

  // The tangent of the smaller half angle: 30 degrees across, less up and down in a wide picture.
  if (!(aspect > 0) || !std::isfinite(aspect)) aspect = 1;
  const double halfTan = 1 / std::sqrt(3.0) * std::min(1.0, 1 / aspect);
  // The enclosing sphere fits the cone of that half angle at radius / sin(angle).
  constexpr double kMargin = 1.1;
  const double distance = kMargin * radius * std::sqrt(1 + halfTan * halfTan) / halfTan;
  // 45 degrees round from -Y towards +X, 30 degrees up: (cos 30 sin 45, -cos 30 cos 45, sin 30).
  const Vec3d towardsEye{std::sqrt(0.375), -std::sqrt(0.375), 0.5};
  camera.from = Narrow(centre + towardsEye * distance);
  camera.to = Narrow(centre);
  fitted.nearPlane = (distance - radius) * 0.5;
  return fitted;
}

}  // namespace q9x
