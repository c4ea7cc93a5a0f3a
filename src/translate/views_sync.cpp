#include "translate/views_sync.h"

#include <algorithm>
#include <cmath>

#include "app/exchange_folder.h"
#include "records/record_reader.h"
#include "scene/scene_container.h"
#include "translate/camera_sync.h"

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

void SyncViews(SceneContainer& container) {
  std::u16string text;
  if (!ReadRecordFile(FolderFilePath(GetExchangeFolder(), u"Views.cam"), text)) return;
  CameraListRecord list;
  ParseCameraList(text, list);
  UpdateScenes(list, container);
}

void UpdateScenes(const CameraListRecord& list, SceneContainer& container) {
  LinkSession& session = container.session;
  std::vector<CameraRecord>& scenes = container.scenes;
  const std::vector<CameraRecord>& cameras = list.cameras;
  const int32_t active = list.nActCamera;
  const bool hasActive = active >= 0 && static_cast<size_t>(active) < cameras.size();

  if (hasActive) {
    const CameraRecord& view = cameras[active];
    const float fov = PlaceCamera(session.camera, view);
    session.link().SendCameraTransformFov(session.handle, &session.camera, fov);
    if (scenes.empty()) {
      scenes.push_back(view);
    } else {
      scenes[0] = view;
    }
  }

  for (size_t i = 0; i < cameras.size(); ++i) {
    if (hasActive && i == static_cast<size_t>(active)) continue;
    const CameraRecord& view = cameras[i];
    auto stored = std::find_if(scenes.begin(), scenes.end(),
                               [&](const CameraRecord& scene) { return scene.Name == view.Name; });
    if (stored != scenes.end()) {
      // Within the tolerance the renderer gets the values it already has, so that rounding in
      // the host's file does not move a scene.
      if (Changed(*stored, view)) *stored = view;
      SendScene(session, *stored);
    } else {
      SendScene(session, view);
      scenes.push_back(view);
    }
  }

  session.link().SendScenes(session.handle, session.RawArchivePath().c_str());
}

void SendScene(LinkSession& session, const CameraRecord& scene) {
  const float fov = PlaceCamera(session.camera, scene);
  const LinkFunctions& link = session.link();
  link.AddScene(session.handle, scene.Name.c_str(), scene.Name.c_str(), &session.camera, fov);
  link.Q9SendCamera(session.handle);
}

}  // namespace q9
