#include "q9x/view.h"

#include <memory>

#include "q9x/command.h"
#include "received/scene_reader.h"
#include "q9x/exit_status.h"
#include "picture/scene_render.h"
#include "common/files.h"

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

std::optional<ViewCamera> ChooseCamera(const ReceivedScene& scene,
                                       const std::optional<std::string>& sceneName, bool fit,
                                       const SceneBounds& bounds, double aspect, std::string& error) {
  if (!sceneName) {
    if (scene.camera && !fit) return ViewCamera{*scene.camera, 1e-3, "current camera"};
    const FittedCamera fitted = FitCamera(bounds, aspect);
    return ViewCamera{fitted.camera, fitted.nearPlane,
                      std::string("whole scene from above") +
                          (fit ? " (--fit)" : " (no camera was sent)")};
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
  return ViewCamera{*entry->camera, 1e-3, "scene \"" + *sceneName + "\""};
}

Outcome<> WritePicture(const ReadScene& read, std::string source, const PictureOptions& options,
                       const std::string& output) {
  const SceneBounds bounds = BoundsOf(read.scene);
  std::string error;
  const std::optional<ViewCamera> camera =
      ChooseCamera(read.scene, options.scene, options.fit, bounds,
                   static_cast<double>(options.width) / options.height, error);
  if (!camera) return Failure{FailureKind::File, error};
  RenderSettings settings;
  settings.width = options.width;
  settings.height = options.height;
  settings.nearPlane = camera->nearPlane;
  // The source by its last name, so that a path written either way gives the same picture.
  while (!source.empty() && (source.back() == '/' || source.back() == '\\')) source.pop_back();
  source = source.substr(source.find_last_of("/\\") + 1);
  std::string counts = std::to_string(read.scene.nodes.size()) + " nodes, " +
                      std::to_string(read.scene.Triangles()) + " triangles";
  if (read.kind == ReadScene::Kind::Archive && read.scene.Triangles() > 0) {
    counts += " (no positions in a raw archive)";
  }
  const std::string nothing = NothingToDraw(read, bounds);
  if (!nothing.empty()) {
    settings.caption = source + " - " + NothingToShow(nothing).reason + " - " + counts;
  } else {
    settings.caption = source + " - " + camera->label + " - " + counts;
  }
  const Image image = RenderScene(read.scene, camera->camera, settings);
  if (!WriteWholeFile(output, EncodePng(image))) return Failure{FailureKind::File, "cannot write " + output};
  if (!nothing.empty()) return NothingToShow(nothing);
  return Done{};
}

namespace view_command {

constexpr const char* kHelp = R"(usage: q9x view SOURCE -o FILE.png [--scene NAME | --fit] [--size WxH]
       q9x view --folder DIR [--link LIB] [WORD...] -o FILE.png [--scene NAME | --fit] [--size WxH]

Draws what the renderer holds after the last call it received, as seen from the camera last
sent (SendCameraTransformFov) or from the scene NAME (AddScene): triangles shaded by their
normal against a light at the eye, in their material's diffuse colour (a diffuse map as grey
with the colour's tint), lights as small squares, and a caption line (source, camera, counts).
When no camera was sent, or with --fit, the camera frames the whole scene from the front right,
30 degrees above it, and the caption says so. A scene with nothing to draw still gives a
picture, whose caption says why; standard error says it too, and the exit status is 5. SOURCE
is a journal of the reference link library or its raw archive (which holds no triangles);
--folder runs the exchange folder as "q9x run" does (start-up load, then the WORDs' requests)
and draws what that sent. The renderer's field of
view is read as the picture's horizontal angle. Default size 1280x720.

example:
  q9x view build/windows/demo/journal.jsonl -o view.png --size 1920x1080
)";

struct ViewOptions {
  SceneSource source;
  std::string output;  // the PNG file
  PictureOptions picture;
};

int View(const ViewOptions& options, const Context& context) {
  const Outcome<ReadScene> read = LoadScene(options.source, context.err);
  if (!read) return context.Fail("view", read.failure());
  const Outcome<> drawn = WritePicture(*read, read->scene.source, options.picture, options.output);
  if (!drawn && drawn.failure().kind != FailureKind::NothingToShow) return context.Fail("view", drawn.failure());
  context.out << options.output << "\n";
  return drawn ? kOk : context.Fail("view", drawn.failure());
}

std::function<int()> Declare(CLI::App& sub, const Context& context) {
  auto options = std::make_shared<ViewOptions>();
  auto arguments = std::make_shared<SceneArguments>();
  auto scene = std::make_shared<std::string>();
  auto size = std::make_shared<std::string>();
  arguments->AddTo(sub, options->output);
  CLI::Option* sceneOption = sub.add_option("--scene", *scene);
  sub.add_flag("--fit", options->picture.fit)->excludes(sceneOption);
  sub.add_option("--size", *size)->check(CLI::Validator(
      [](std::string& value) {
        int width = 0, height = 0;
        return ParseSize(value, width, height) ? std::string()
                                               : "\"" + value + "\" is not WxH (1 to 16384 each)";
      },
      "WxH"));
  return [=, &context] {
    const std::string problem = arguments->Into(options->source);
    if (!problem.empty()) return context.Wrong("view", problem);
    if (sceneOption->count() > 0) options->picture.scene = *scene;
    if (!size->empty()) ParseSize(*size, options->picture.width, options->picture.height);
    return View(*options, context);
  };
}

}  // namespace view_command

extern const Command kViewCommand{
    "view",
    "  view SOURCE -o FILE.png [--scene NAME | --fit] [--size WxH]\n"
    "                               a picture of what the renderer received, from its camera\n",
    view_command::kHelp, view_command::Declare};

}  // namespace q9x
