// The view command: a picture of the received scene from the current camera or a named scene.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "received_scene.h"

namespace q9x {

struct ViewOptions {
  SceneSource source;
  std::string output;                // the PNG file
  std::optional<std::string> scene;  // a scene's name (or display name); else the current camera
  int width = 1280;
  int height = 720;
};

// Reads "WxH" (each 1 to 16384). False when it is not that.
bool ParseSize(const std::string& text, int& width, int& height);

// The camera the picture is taken from and its caption name ("camera" or "scene NAME"). Nothing,
// with the reason on `error`, when the scene is unknown, has no camera, or no camera was sent.
std::optional<ReceivedCamera> ChooseCamera(const ReceivedScene& scene,
                                           const std::optional<std::string>& sceneName,
                                           std::string& label, std::string& error);

// Writes the PNG. 0 done; 1 the source or the picture could not be read or written, or the
// camera asked for is not there (the reason on `err`).
int ViewCommand(const ViewOptions& options, std::ostream& out, std::ostream& err);

}  // namespace q9x
