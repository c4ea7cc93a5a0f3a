// A small rasterizer for the received scene: depth-tested triangles shaded by their normal
// against a light at the eye, coloured by their material, lights as markers, a caption line.
// Only IEEE arithmetic and square roots are used, so both builds draw the same pixels. Triangles
// are clipped in double precision, to the near plane and to a guard band around the picture,
// before any coordinate becomes a pixel, so that a model of any scale and a camera anywhere in
// it draw without overflow.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "picture/camera.h"
#include "received/received_scene.h"

namespace q9x {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // row by row, top first, 3 bytes a pixel
  std::array<uint8_t, 3> Pixel(int x, int y) const {
    const size_t at = (static_cast<size_t>(y) * width + x) * 3;
    return {rgb[at], rgb[at + 1], rgb[at + 2]};
  }
};

// The colour of everything no triangle covers.
constexpr std::array<uint8_t, 3> kBackground{38, 42, 50};

struct RenderSettings {
  int width = 1280;
  int height = 720;
  std::string caption;  // empty: no caption bar
  // The distance in front of the eye below which nothing is drawn, in the scene's units (a
  // value that is not a positive number counts as 1e-3).
  double nearPlane = 1e-3;
};

// What was drawn.
struct RenderStats {
  int64_t trianglesDrawn = 0;  // triangles left after clipping to the near plane and guard band
  int captionTop = 0;          // the first row of the caption bar (the height without one)
};

// Draws `scene` as seen by `camera` (its `fov` the horizontal angle in degrees; outside 1..179
// counts as 60). The picture's width and height are at least 1.
Image RenderScene(const ReceivedScene& scene, const ReceivedCamera& camera,
                  const RenderSettings& settings, RenderStats* stats = nullptr);

// The picture as a PNG file's bytes.
std::string EncodePng(const Image& image);

}  // namespace q9x
