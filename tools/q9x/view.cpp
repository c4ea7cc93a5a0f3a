#include "view.h"

#include "q9x.h"
#include "scene_render.h"
#include "tool_files.h"

namespace q9x {

bool ParseSize(const std::string& text, int& width, int& height) {
  const size_t split = text.find_first_of("xX");
  if (split == std::string::npos) return false;
  auto number = [](const std::string& digits, int& value) {
    if (digits.empty() || digits.size() > 5) return false;
    value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 16384;
  };
  return number(text.substr(0, split), width) && number(text.substr(split + 1), height);
}

std::optional<ReceivedCamera> ChooseCamera(const ReceivedScene& scene,
                                           const std::optional<std::string>& sceneName,
                                           std::string& label, std::string& error) {
  if (!sceneName) {
    if (!scene.camera) {
      error = "no camera was sent (SendCameraTransformFov); ask for a scene with --scene";
      return std::nullopt;
    }
    label = "current camera";
    return scene.camera;
  }
  const ReceivedSceneEntry* entry = scene.scenes.Find(*sceneName);
  if (!entry) {
    for (const auto& [name, candidate] : scene.scenes) {
      if (candidate.displayName == *sceneName) entry = &candidate;
    }
  }
  if (!entry) {
    error = "no scene \"" + *sceneName + "\" was sent; scenes:";
    for (const auto& [name, candidate] : scene.scenes) error += " \"" + name + "\"";
    if (scene.scenes.empty()) error += " none";
    return std::nullopt;
  }
  if (!entry->camera) {
    error = "scene \"" + *sceneName + "\" was sent without a camera";
    return std::nullopt;
  }
  label = "scene \"" + *sceneName + "\"";
  return entry->camera;
}

int ViewCommand(const ViewOptions& options, std::ostream& out, std::ostream& err) {
  int status = kOk;
  const std::optional<ReadScene> read = LoadScene(options.source, err, status);
  if (!read) return status;
  std::string label, error;
  const std::optional<ReceivedCamera> camera = ChooseCamera(read->scene, options.scene, label, error);
  if (!camera) {
    err << "q9x view: " << error << "\n";
    return kFailed;
  }
  RenderSettings settings;
  settings.width = options.width;
  settings.height = options.height;
  // The source by its last name, so that a path written either way gives the same picture.
  std::string source = read->scene.source;
  while (!source.empty() && (source.back() == '/' || source.back() == '\\')) source.pop_back();
  source = source.substr(source.find_last_of("/\\") + 1);
  settings.caption = source + " - " + label + " - " +
                     std::to_string(read->scene.nodes.size()) + " nodes, " +
                     std::to_string(read->scene.Triangles()) + " triangles";
  const Image image = RenderScene(read->scene, *camera, settings);
  if (!WriteWholeFile(options.output, EncodePng(image))) {
    err << "q9x view: cannot write " << options.output << "\n";
    return kFailed;
  }
  out << options.output << "\n";
  return kOk;
}

}  // namespace q9x
