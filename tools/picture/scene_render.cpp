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

constexpr double kPi = 3.14159265358979323846;

struct V3 {
  double x = 0, y = 0, z = 0;
};
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Length(V3 a) { return std::sqrt(Dot(a, a)); }
V3 Of(const Vec3& v) { return {v[0], v[1], v[2]}; }
bool Finite(V3 a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }

// The eye's frame: right, up and forward unit vectors.
struct Eye {
  V3 from, right, up, forward;
  double focal = 1;   // pixels per unit of x / z
  double cx = 0, cy = 0;
  static constexpr double kNear = 1e-3;

  V3 ToCamera(V3 p) const {
    const V3 d = p - from;
    return {Dot(d, right), Dot(d, up), Dot(d, forward)};
  }
  // Screen x, y and 1/z of a camera-space point in front of the near plane.
  V3 Project(V3 c) const {
    const double inverse = 1.0 / c.z;
    return {cx + c.x * focal * inverse, cy - c.y * focal * inverse, inverse};
  }
};

Eye MakeEye(const ReceivedCamera& camera, int width, int height) {
  Eye eye;
  eye.from = Of(camera.from);
  V3 forward = Of(camera.to) - eye.from;
  if (!Finite(forward) || Length(forward) == 0) forward = {0, 1, 0};
  eye.forward = forward * (1.0 / Length(forward));
  V3 up = Of(camera.up);
  V3 right = Cross(eye.forward, up);
  if (!Finite(right) || Length(right) < 1e-9) {
    right = Cross(eye.forward, {0, 0, 1});
    if (Length(right) < 1e-9) right = Cross(eye.forward, {0, 1, 0});
  }
  eye.right = right * (1.0 / Length(right));
  eye.up = Cross(eye.right, eye.forward);
  double fov = camera.fov;
  if (!(fov >= 1 && fov <= 179)) fov = 60;
  eye.focal = (width / 2.0) / PortableTan(fov * kPi / 360.0);
  eye.cx = width / 2.0;
  eye.cy = height / 2.0;
  return eye;
}

V3 Transform(const std::optional<Matrix>& m, V3 p) {
  if (!m) return p;
  const Matrix& a = *m;
  return {a[0] * p.x + a[4] * p.y + a[8] * p.z + a[12],
          a[1] * p.x + a[5] * p.y + a[9] * p.z + a[13],
          a[2] * p.x + a[6] * p.y + a[10] * p.z + a[14]};
}

bool IsIdentity(const Matrix& m) {
  for (int i = 0; i < 16; ++i) {
    if (m[i] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
  }
  return true;
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
    const int x0 = std::max(0, static_cast<int>(std::floor(minX)));
    const int x1 = std::min(width_ - 1, static_cast<int>(std::ceil(maxX)));
    const int y0 = std::max(0, static_cast<int>(std::floor(minY)));
    const int y1 = std::min(height_ - 1, static_cast<int>(std::ceil(maxY)));
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
    return colour ? grey * 0.6 + Of(*colour) * 0.4 : grey;
  }
  return colour ? Of(*colour) : V3{0.7, 0.7, 0.7};
}

// Clips a camera-space triangle to the near plane and fills what is left.
void DrawTriangle(Canvas& canvas, const Eye& eye, const V3 (&corners)[3],
                  const std::array<uint8_t, 3>& colour, int64_t& drawn) {
  V3 kept[4];
  int count = 0;
  for (int i = 0; i < 3; ++i) {
    const V3& p = corners[i];
    const V3& q = corners[(i + 1) % 3];
    const bool pIn = p.z >= Eye::kNear, qIn = q.z >= Eye::kNear;
    if (pIn) kept[count++] = p;
    if (pIn != qIn) {
      const double t = (Eye::kNear - p.z) / (q.z - p.z);
      kept[count++] = p + (q - p) * t;
    }
  }
  if (count < 3) return;
  ++drawn;
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
    if (!Finite(c) || c.z < Eye::kNear) continue;
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
  // Two halvings of the angle bring |x| below tan(pi/16), where the series is quick.
  double reduced = x;
  for (int i = 0; i < 3; ++i) reduced = reduced / (1.0 + std::sqrt(1.0 + reduced * reduced));
  double sum = 0, power = reduced;
  for (int n = 0; n < 40; ++n) {
    sum += (n % 2 ? -power : power) / (2 * n + 1);
    power *= reduced * reduced;
  }
  return sum * 8;
}

Image RenderScene(const ReceivedScene& scene, const ReceivedCamera& camera,
                  const RenderSettings& settings, RenderStats* stats) {
  const int width = std::max(1, settings.width);
  const int height = std::max(1, settings.height);
  const int scale = height >= 600 ? 2 : 1;
  const int captionHeight = settings.caption.empty() ? 0 : std::min(height, 14 * scale);
  Canvas canvas(width, height);
  const Eye eye = MakeEye(camera, width, height);
  int64_t drawn = 0;
  const V3 eyePoint = eye.from;

  for (const auto& [name, node] : scene.nodes) {
    const std::optional<Matrix> matrix =
        node.matrix && !IsIdentity(*node.matrix) ? node.matrix : std::nullopt;
    for (const ReceivedMesh& mesh : node.meshes) {
      const V3 base = MeshColour(scene, mesh);
      const float* p = mesh.positions.data();
      for (size_t t = 0; t < mesh.HeldTriangles(); ++t, p += 9) {
        const V3 world[3] = {Transform(matrix, {p[0], p[1], p[2]}), Transform(matrix, {p[3], p[4], p[5]}),
                             Transform(matrix, {p[6], p[7], p[8]})};
        if (!Finite(world[0]) || !Finite(world[1]) || !Finite(world[2])) continue;
        const V3 corners[3] = {eye.ToCamera(world[0]), eye.ToCamera(world[1]), eye.ToCamera(world[2])};
        if (corners[0].z < Eye::kNear && corners[1].z < Eye::kNear && corners[2].z < Eye::kNear) continue;
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
