// q9x view: a picture of the received scene from the current camera, a named scene, or a camera
// that frames the whole scene.
#pragma once

#include <optional>
#include <string>

#include "common/failure.h"
#include "picture/framing.h"
#include "received/received_scene.h"

namespace q9x {

// Reads "WxH" (each 1 to 16384). False when it is not that.
bool ParseSize(const std::string& text, int& width, int& height);

// The camera a picture is taken from, the near plane that goes with it, and its caption name.
struct ViewCamera {
  ReceivedCamera camera;
  double nearPlane = 1e-3;
  std::string label;  // "current camera", "scene NAME", or what the fitted camera frames and why
};

// The camera of the scene `sceneName` (its name or display name); else, without `fit`, the
// camera last sent; else (with `fit`, or when no camera was sent) one that frames `bounds` in a
// picture `aspect` times as wide as high (FitCamera). Nothing, with the reason on `error`, when
// the scene asked for was not sent or was sent without a camera.
std::optional<ViewCamera> ChooseCamera(const ReceivedScene& scene,
                                       const std::optional<std::string>& sceneName, bool fit,
                                       const SceneBounds& bounds, double aspect, std::string& error);

// What a picture shows and its size, as `q9x view` takes them.
struct PictureOptions {
  std::optional<std::string> scene;  // a scene's name (or display name); else the current camera
  bool fit = false;                  // frame the whole scene even when a camera was sent
  int width = 1280;
  int height = 720;
};

// Draws `read` into the PNG file `output` as `q9x view` does, its caption naming `source` by its
// last name. Failures: File when the scene asked for was not sent (nothing written) or the file
// cannot be written; NothingToShow when the scene holds nothing to draw, after the picture (whose
// caption says why) is written.
Outcome<> WritePicture(const ReadScene& read, std::string source, const PictureOptions& options,
                       const std::string& output);

}  // namespace q9x
