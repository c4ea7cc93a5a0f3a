// The small geometry that pictures and glTF files of the received scene share: points in double
// precision, the scene's 16-float matrices, a camera's frame, and tan and atan that give the
// same bits in every build. Only IEEE arithmetic and square roots are used here.
#pragma once

#include <cmath>

#include "received/received_scene.h"

namespace q9x {

inline constexpr double kPi = 3.14159265358979323846;

// A point or direction in double precision.
struct Vec3d {
  double x = 0, y = 0, z = 0;
};
inline Vec3d operator+(Vec3d a, Vec3d b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3d operator-(Vec3d a, Vec3d b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3d operator*(Vec3d a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(Vec3d a, Vec3d b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3d Cross(Vec3d a, Vec3d b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(Vec3d a) { return std::sqrt(Dot(a, a)); }
inline bool IsFinite(Vec3d a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }
inline Vec3d Widen(const Vec3& v) { return {v[0], v[1], v[2]}; }

// True when every element is 1 on the diagonal and 0 elsewhere.
bool IsIdentity(const Matrix& m);
// True when no element is infinite or NaN.
bool IsFinite(const Matrix& m);
// `m` applied to the point `p` (columns 0 to 2 turn it, column 3 moves it).
Vec3d TransformPoint(const Matrix& m, Vec3d p);

// A camera's frame: where it stands and its right, up and forward unit vectors. A camera whose
// target is where it stands (or not finite) looks along +Y; an up direction along the line of
// sight (or not finite) gives way to +Z, then +Y.
struct CameraBasis {
  Vec3d from, right, up, forward;
};
CameraBasis BasisOf(const ReceivedCamera& camera);

// The renderer's field of view in degrees, read as the horizontal angle; a value outside 1 to
// 179 (or NaN) counts as 60.
double HorizontalFov(const ReceivedCamera& camera);

// tan and atan from IEEE arithmetic alone (the runtimes' own may differ in the last bit). tan is
// meant for |radians| < pi/2, the half angles of fields of view.
double PortableTan(double radians);
double PortableAtan(double value);

}  // namespace q9x
