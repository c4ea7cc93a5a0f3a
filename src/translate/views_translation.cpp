#include "translate/views_translation.h"

#include <cmath>
#include <unordered_map>

#include "translate/camera_translation.h"

namespace q9 {

namespace {

// The difference is taken in single precision and its size compared in double precision, as
// the host's own comparison does; a NaN difference never counts as a move.
bool Moved(float stored, float view) {
  const float difference = stored - view;
  return static_cast<double>(std::fabs(difference)) > 0.0001;
}

bool Moved(const Float3& stored, const Float3& view) {
  return Moved(stored.x, view.x) || Moved(stored.y, view.y) || Moved(stored.z, view.z);
}

bool Changed(const CameraRecord& stored, const CameraRecord& view) {
  return Moved(stored._from, view._from) || Moved(stored._to, view._to) ||
         Moved(stored._up, view._up) || !(stored._fov == view._fov);
}

}  // namespace

void UpdateScenes(const CameraListRecord& list, std::vector<CameraRecord>& scenes,
                  LinkSession& session) {
  const std::vector<CameraRecord>& cameras = list.cameras;
  const int32_t active = list.nActCamera;
  const bool hasActive = active >= 0 && static_cast<size_t>(active) < cameras.size();

  if (hasActive) {
    const CameraRecord& view = cameras[active];
    SendCamera(session, view);
    if (scenes.empty()) {
      scenes.push_back(view);
    } else {
      scenes[0] = view;
    }
  }

  // The first scene of each name from element 1 on. Element 0 is looked at by itself, since the
  // active view replaces it; the names of the others never change once stored.
  std::unordered_map<std::u16string, size_t> firstOfName;
  firstOfName.reserve(scenes.size() + cameras.size());
  for (size_t i = 1; i < scenes.size(); ++i) firstOfName.try_emplace(scenes[i].Name, i);
  const auto find = [&](const std::u16string& name) -> CameraRecord* {
    if (!scenes.empty() && scenes[0].Name == name) return &scenes[0];
    const auto found = firstOfName.find(name);
    return found == firstOfName.end() ? nullptr : &scenes[found->second];
  };

  for (size_t i = 0; i < cameras.size(); ++i) {
    if (hasActive && i == static_cast<size_t>(active)) continue;
    const CameraRecord& view = cameras[i];
    if (CameraRecord* stored = find(view.Name)) {
      // Within the tolerance the renderer gets the values it already has, so that rounding in
      // the host's file does not move a scene.
      if (Changed(*stored, view)) *stored = view;
      SendScene(session, *stored);
    } else {
      SendScene(session, view);
      scenes.push_back(view);
      if (scenes.size() > 1) firstOfName.try_emplace(view.Name, scenes.size() - 1);
    }
  }

  session.link().SendScenes(session.handle, session.RawArchivePath().c_str());
}

void SendScene(LinkSession& session, const CameraRecord& scene) {
  const float fov = PlaceCamera(session.camera, scene);
  const LinkCalls& link = session.link();
  link.AddScene(session.handle, scene.Name.c_str(), scene.Name.c_str(), &session.camera, fov);
  link.Q9SendCamera(session.handle);
}

}  // namespace q9
