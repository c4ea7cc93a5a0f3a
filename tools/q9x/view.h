// q9x view: a picture of the received scene from the current camera or a named scene.
#pragma once

#include <optional>
#include <string>

#include "received/received_scene.h"

namespace q9x {

// Reads "WxH" (each 1 to 16384). False when it is not that.
bool ParseSize(const std::string& text, int& width, int& height);

// The camera the picture is taken from and its caption name ("camera" or "scene NAME"). Nothing,
// with the reason on `error`, when the scene is unknown, has no camera, or no camera was sent.
std::optional<ReceivedCamera> ChooseCamera(const ReceivedScene& scene,
                                           const std::optional<std::string>& sceneName,
                                           std::string& label, std::string& error);

}  // namespace q9x
