#include "picture/scene_render.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>
#include <stb/stb_easy_font.h>
#pragma GCC diagnostic pop

namespace q9x {

namespace {

using V3 = Vec3d;

// The eye: the camera's frame, the projection onto the picture, and the five planes every
// triangle is clipped to before it is filled: the near plane, and the four planes through the
// eye that bound a guard band of `guard` pixels around the picture. Inside the band, screen
// coordinates stay small, so the edge functions keep their precision and pixel bounds fit an int.
struct Eye {
  CameraBasis basis;
  double focal = 1;   // pixels per unit of x / z
  double cx = 0, cy = 0;
  double nearPlane = 1e-3;
  double halfWidth = 0, halfHeight = 0;  // of the guard band, in pixels

  V3 ToCamera(V3 p) const {
    const V3 d = p - basis.from;
    return {Dot(d, basis.right), Dot(d, basis.up), Dot(d, basis.forward)};
  }
  // Screen x, y and 1/z of a camera-space point in front of the near plane.
  V3 Project(V3 c) const {
    const double inverse = 1.0 / c.z;
    return {cx + c.x * focal * inverse, cy - c.y * focal * inverse, inverse};
  }
  // How far a camera-space point is inside plane `plane` (0 near, 1 to 4 the band's left,
  // right, top and bottom), scaled; negative outside, NaN for a point that is not finite.
  double Inside(int plane, const V3& c) const {
    switch (plane) {
      case 0: return c.z - nearPlane;
      case 1: return halfWidth * c.z + c.x * focal;
      case 2: return halfWidth * c.z - c.x * focal;
      case 3: return halfHeight * c.z - c.y * focal;
      default: return halfHeight * c.z + c.y * focal;
    }
  }
};
constexpr int kPlanes = 5;
// A triangle clipped by five planes keeps at most 3 + 5 corners.
constexpr int kMostCorners = 3 + kPlanes;

Eye MakeEye(const ReceivedCamera& camera, int width, int height, double nearPlane) {
  Eye eye;
  eye.basis = BasisOf(camera);
  eye.focal = (width / 2.0) / PortableTan(HorizontalFov(camera) * kPi / 360.0);
  eye.cx = width / 2.0;
  eye.cy = height / 2.0;
  // 1/z of everything drawn stays inside the float depth buffer's range.
  eye.nearPlane = nearPlane > 0 && std::isfinite(nearPlane) ? std::max(nearPlane, 1e-30) : 1e-3;
  const double guard = std::max(width, height);
  eye.halfWidth = width / 2.0 + guard;
  eye.halfHeight = height / 2.0 + guard;
  return eye;
}

// Clips a convex polygon of camera-space corners to one plane; the number of corners kept.
int ClipToPlane(const Eye& eye, int plane, const V3* corners, int count, V3* kept) {
  int out = 0;
  for (int i = 0; i < count; ++i) {
    const V3& p = corners[i];
    const V3& q = corners[(i + 1) % count];
    const double dp = eye.Inside(plane, p), dq = eye.Inside(plane, q);
    if (dp >= 0) kept[out++] = p;
    if ((dp >= 0) != (dq >= 0) && !std::isnan(dp) && !std::isnan(dq)) {
      // Cut from the inside corner, so that two triangles sharing the edge cut it at the same point.
      const V3& in = dp >= 0 ? p : q;
      const V3& outside = dp >= 0 ? q : p;
      const double dIn = dp >= 0 ? dp : dq, dOut = dp >= 0 ? dq : dp;
      V3 cut = in + (outside - in) * (dIn / (dIn - dOut));
      // The cut lies at or beyond the near plane; rounding between far-apart corners must not
      // bring it nearer (or behind the eye).
      cut.z = std::max(cut.z, eye.nearPlane);
      kept[out++] = cut;
    }
  }
  return out;
}

class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    image_.width = width;
    image_.height = height;
    image_.rgb.resize(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < image_.rgb.size(); i += 3) {
      std::memcpy(&image_.rgb[i], kBackground.data(), 3);
    }
    depth_.assign(static_cast<size_t>(width) * height, 0.0f);
  }

  // One triangle in screen space (x, y, 1/z), filled where it is nearer than what is there.
  void Fill(const V3& a, const V3& b, const V3& c, const std::array<uint8_t, 3>& colour) {
    const double area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (!(std::fabs(area) > 1e-12)) return;
    const double minX = std::min({a.x, b.x, c.x}), maxX = std::max({a.x, b.x, c.x});
    const double minY = std::min({a.y, b.y, c.y}), maxY = std::max({a.y, b.y, c.y});
    if (!(maxX >= 0 && maxY >= 0 && minX < width_ && minY < height_)) return;
    // Bounded to the picture while still doubles: only then are they pixels.
    const int x0 = static_cast<int>(std::floor(std::max(minX, 0.0)));
    const int x1 = static_cast<int>(std::ceil(std::min(maxX, width_ - 1.0)));
    const int y0 = static_cast<int>(std::floor(std::max(minY, 0.0)));
    const int y1 = static_cast<int>(std::ceil(std::min(maxY, height_ - 1.0)));
    const double inverseArea = 1.0 / area;
    // Edge functions stepped across the box; a pixel's centre is inside when all three agree
    // with the triangle's winding.
    const double e0dx = (b.y - c.y) * inverseArea, e0dy = (c.x - b.x) * inverseArea;
    const double e1dx = (c.y - a.y) * inverseArea, e1dy = (a.x - c.x) * inverseArea;
    const double px = x0 + 0.5, py = y0 + 0.5;
    double w0Row = ((b.x - px) * (c.y - py) - (b.y - py) * (c.x - px)) * inverseArea;
    double w1Row = ((c.x - px) * (a.y - py) - (c.y - py) * (a.x - px)) * inverseArea;
    for (int y = y0; y <= y1; ++y) {
      double w0 = w0Row, w1 = w1Row;
      float* depth = &depth_[static_cast<size_t>(y) * width_];
      uint8_t* row = &image_.rgb[static_cast<size_t>(y) * width_ * 3];
      for (int x = x0; x <= x1; ++x) {
        const double w2 = 1.0 - w0 - w1;
        if (w0 >= 0 && w1 >= 0 && w2 >= 0) {
          const float z = static_cast<float>(w0 * a.z + w1 * b.z + w2 * c.z);
          if (z > depth[x]) {
            depth[x] = z;
            std::memcpy(row + x * 3, colour.data(), 3);
          }
        }
        w0 += e0dx;
        w1 += e1dx;
      }
      w0Row += e0dy;
      w1Row += e1dy;
    }
  }

  void Rectangle(int x0, int y0, int x1, int y1, const std::array<uint8_t, 3>& colour) {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min(x1, width_), y1 = std::min(y1, height_);
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        std::memcpy(&image_.rgb[(static_cast<size_t>(y) * width_ + x) * 3], colour.data(), 3);
      }
    }
  }

  Image Take() { return std::move(image_); }

 private:
  int width_, height_;
  Image image_;
  std::vector<float> depth_;
};

uint8_t Byte(double value) {
  if (!(value > 0)) return 0;
  if (value >= 1) return 255;
  return static_cast<uint8_t>(value * 255.0 + 0.5);
}

// A mesh's colour: its material's diffuse colour; a map as neutral grey with the colour's tint.
V3 MeshColour(const ReceivedScene& scene, const ReceivedMesh& mesh) {
  const ReceivedMaterial* material = scene.MaterialOf(mesh);
  if (!material) return {0.7, 0.7, 0.7};
  const std::optional<Vec3> colour = material->DiffuseColour();
  if (!material->DiffuseMap().empty()) {
    const V3 grey{0.62, 0.62, 0.62};
    return colour ? grey * 0.6 + Widen(*colour) * 0.4 : grey;
  }
  return colour ? Widen(*colour) : V3{0.7, 0.7, 0.7};
}

// Clips a camera-space triangle to the near plane and the guard band and fills what is left.
void DrawTriangle(Canvas& canvas, const Eye& eye, const V3 (&corners)[3],
                  const std::array<uint8_t, 3>& colour, int64_t& drawn) {
  // Most triangles lie inside every plane or wholly outside one: no clipping for either.
  bool inside = true;
  for (int plane = 0; plane < kPlanes; ++plane) {
    const double d0 = eye.Inside(plane, corners[0]), d1 = eye.Inside(plane, corners[1]),
                 d2 = eye.Inside(plane, corners[2]);
    if (!(d0 >= 0 || d1 >= 0 || d2 >= 0)) return;
    inside = inside && d0 >= 0 && d1 >= 0 && d2 >= 0;
  }
  V3 polygon[2][kMostCorners] = {{corners[0], corners[1], corners[2]}};
  int count = 3, current = 0;
  if (!inside) {
    for (int plane = 0; plane < kPlanes && count >= 3; ++plane) {
      count = ClipToPlane(eye, plane, polygon[current], count, polygon[1 - current]);
      current = 1 - current;
    }
    if (count < 3) return;
  }
  ++drawn;
  const V3* kept = polygon[current];
  const V3 a = eye.Project(kept[0]);
  for (int i = 1; i + 1 < count; ++i) {
    canvas.Fill(a, eye.Project(kept[i]), eye.Project(kept[i + 1]), colour);
  }
}

void DrawLights(Canvas& canvas, const Eye& eye, const ReceivedScene& scene, int scale) {
  for (const auto& [name, light] : scene.lights) {
    const std::optional<Matrix> transform = light.Transform();
    if (!transform) continue;
    const V3 c = eye.ToCamera({(*transform)[12], (*transform)[13], (*transform)[14]});
    if (!IsFinite(c) || c.z < eye.nearPlane) continue;
    const V3 p = eye.Project(c);
    if (!(std::fabs(p.x) < 1e6 && std::fabs(p.y) < 1e6)) continue;
    const int x = static_cast<int>(std::floor(p.x)), y = static_cast<int>(std::floor(p.y));
    const int outer = 5 * scale, inner = 3 * scale;
    const Vec3 colour = light.Colour();
    canvas.Rectangle(x - outer, y - outer, x + outer + 1, y + outer + 1, {0, 0, 0});
    canvas.Rectangle(x - inner, y - inner, x + inner + 1, y + inner + 1,
                     {Byte(colour[0]), Byte(colour[1]), Byte(colour[2])});
  }
}

void DrawCaption(Canvas& canvas, const std::string& caption, int width, int top, int scale) {
  canvas.Rectangle(0, top, width, top + 14 * scale, {16, 18, 22});
  std::string text;
  for (char c : caption) text += (c >= 32 && c < 127) ? c : '?';
  // Only as many characters as fit, each at most about 6 pixels wide.
  const size_t fits = static_cast<size_t>(std::max(0, (width - 8 * scale) / (6 * scale)));
  if (text.size() > fits) text = fits > 3 ? text.substr(0, fits - 3) + "..." : "";
  std::vector<char> quads(text.size() * 300 + 64);
  const int count = stb_easy_font_print(0, 0, text.data(), nullptr, quads.data(),
                                        static_cast<int>(quads.size()));
  for (int q = 0; q < count; ++q) {
    float corner[2][2];
    std::memcpy(corner[0], quads.data() + q * 64, 8);        // first corner x, y
    std::memcpy(corner[1], quads.data() + q * 64 + 32, 8);   // the opposite one
    const int x0 = 4 * scale + static_cast<int>(corner[0][0]) * scale;
    const int y0 = top + 2 * scale + static_cast<int>(corner[0][1]) * scale;
    const int x1 = 4 * scale + static_cast<int>(corner[1][0]) * scale;
    const int y1 = top + 2 * scale + static_cast<int>(corner[1][1]) * scale;
    canvas.Rectangle(x0, y0, x1, y1, {230, 230, 230});
  }
}

}  // namespace

Image RenderScene(const ReceivedScene& scene, const ReceivedCamera& camera,
                  const RenderSettings& settings, RenderStats* stats) {
  const int width = std::max(1, settings.width);
  const int height = std::max(1, settings.height);
  const int scale = height >= 600 ? 2 : 1;
  const int captionHeight = settings.caption.empty() ? 0 : std::min(height, 14 * scale);
  Canvas canvas(width, height);
  const Eye eye = MakeEye(camera, width, height, settings.nearPlane);
  int64_t drawn = 0;
  const V3 eyePoint = eye.basis.from;

  for (const auto& [name, node] : scene.nodes) {
    const Matrix* matrix = node.matrix && !IsIdentity(*node.matrix) ? &*node.matrix : nullptr;
    for (const ReceivedMesh& mesh : node.meshes) {
      const V3 base = MeshColour(scene, mesh);
      const float* p = mesh.positions.data();
      for (size_t t = 0; t < mesh.HeldTriangles(); ++t, p += 9) {
        V3 world[3] = {{p[0], p[1], p[2]}, {p[3], p[4], p[5]}, {p[6], p[7], p[8]}};
        if (matrix) {
          for (V3& corner : world) corner = TransformPoint(*matrix, corner);
        }
        if (!IsFinite(world[0]) || !IsFinite(world[1]) || !IsFinite(world[2])) continue;
        const V3 corners[3] = {eye.ToCamera(world[0]), eye.ToCamera(world[1]), eye.ToCamera(world[2])};
        // Lit from the eye: the brighter, the more the face turns towards it (either side).
        const V3 normal = Cross(world[1] - world[0], world[2] - world[0]);
        const V3 toEye = eyePoint - (world[0] + world[1] + world[2]) * (1.0 / 3.0);
        const double lengths = Length(normal) * Length(toEye);
        const double facing = lengths > 0 ? std::fabs(Dot(normal, toEye)) / lengths : 0;
        const double light = 0.25 + 0.75 * facing;
        DrawTriangle(canvas, eye, corners,
                     {Byte(base.x * light), Byte(base.y * light), Byte(base.z * light)}, drawn);
      }
    }
  }
  DrawLights(canvas, eye, scene, scale);
  if (captionHeight > 0) DrawCaption(canvas, settings.caption, width, height - captionHeight, scale);
  if (stats) {
    stats->trianglesDrawn = drawn;
    stats->captionTop = height - captionHeight;
  }
  return canvas.Take();
}

std::string EncodePng(const Image& image) {
  std::string bytes;
  stbi_write_png_to_func(
      [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
      },
      &bytes, image.width, image.height, 3, image.rgb.data(), image.width * 3);
  return bytes;
}

}  // namespace q9x
