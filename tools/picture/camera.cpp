#include "picture/camera.h"

namespace q9x {

bool IsIdentity(const Matrix& m) {
  for (int i = 0; i < 16; ++i) {
    if (m[i] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
  }
  return true;
}

bool IsFinite(const Matrix& m) {
  for (float v : m) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

Vec3d TransformPoint(const Matrix& m, Vec3d p) {
  return {m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12],
          m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
          m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
}

CameraBasis BasisOf(const ReceivedCamera& camera) {
  CameraBasis basis;
  basis.from = Widen(camera.from);
  Vec3d forward = Widen(camera.to) - basis.from;
  if (!IsFinite(forward) || Length(forward) == 0) forward = {0, 1, 0};
  basis.forward = forward * (1.0 / Length(forward));
  Vec3d right = Cross(basis.forward, Widen(camera.up));
  if (!IsFinite(right) || Length(right) < 1e-9) {
    right = Cross(basis.forward, {0, 0, 1});
    if (Length(right) < 1e-9) right = Cross(basis.forward, {0, 1, 0});
  }
  basis.right = right * (1.0 / Length(right));
  basis.up = Cross(basis.right, basis.forward);
  return basis;
}

double HorizontalFov(const ReceivedCamera& camera) {
  const double fov = camera.fov;
  return fov >= 1 && fov <= 179 ? fov : 60;
}

double PortableTan(double x) {
  // sin and cos by their series on |x| <= pi/2 (the fields of view used here), then divided.
  double sine = 0, cosine = 0, term = x, termCos = 1;
  for (int n = 0; n < 30; ++n) {
    sine += term;
    cosine += termCos;
    term *= -x * x / ((2 * n + 2) * (2 * n + 3));
    termCos *= -x * x / ((2 * n + 1) * (2 * n + 2));
  }
  return sine / cosine;
}

double PortableAtan(double x) {
  // Three halvings of the angle bring |x| below tan(pi/16), where the series is quick.
  double reduced = x;
  for (int i = 0; i < 3; ++i) reduced = reduced / (1.0 + std::sqrt(1.0 + reduced * reduced));
  double sum = 0, power = reduced;
  for (int n = 0; n < 40; ++n) {
    sum += (n % 2 ? -power : power) / (2 * n + 1);
    power *= reduced * reduced;
  }
  return sum * 8;
}

}  // namespace q9x
