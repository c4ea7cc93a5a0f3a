// Applying a change list to the renderer and to the maps of what was sent.
#include "scene/change_list.h"
#include "scene/scene_container.h"
#include "translate/light_translation.h"

namespace q9 {

void SceneContainer::applyChanges() {
  DamageWatch damage(*this);
  loadHeader();
  if (lastEntryIndex < 0 || !reader.attached()) {
    Close();
    return;
  }
  const DirectoryEntry& entry = entries[0];
  if (!entry.is(SectionType::ChangeList)) {
    Close();
    return;
  }
  const std::u16string project = entry.name();
  if (project == currentSectionName) {
    WalkChangeList(reader, entry.offset(), [&](int64_t, const std::u16string& kind) {
      if (kind == u"Solid") {
        readIdList(changedSolids);
      } else if (kind == u"Material") {
        readIdList(changedMaterials);
      }
    });
    applyChangeList();
  } else {
    resetAll();
    session.modelFilePath = project;
    session.link().Q9SaveRawToQ9a(session.handle, session.RawArchivePath().c_str());
  }
  damage.Finish();
  Close();
}

void SceneContainer::applyChangeList() {
  const LinkCalls& link = session.link();
  for (const uint32_t id : changedSolids) {
    const auto solid = solids.find(id);
    if (solid == solids.end()) continue;
    link.Q9DeleteNode(session.handle, solid->second.nodeName.c_str());
    link.Q9EndNode(session.handle);
    solids.erase(solid);
  }
  link.Q9SendProcessed(session.handle);
  link.DisConnect(session.handle);
  // Every light goes, switched on or not: the update's section sends the lights again.
  for (const auto& [id, light] : lights) {
    link.Q9DeleteLight(session.handle, lightNodeName(light).c_str());
    link.Q9SendLights(session.handle);
  }
  lights.clear();
}

void SceneContainer::resetAll() {
  const LinkCalls& link = session.link();
  for (const auto& [id, solid] : solids) link.MaxDeleteNode(session.handle, solid.nodeName.c_str());
  solids.clear();
  for (const auto& [name, material] : materials) {
    link.Q9ResetMaterial(session.handle, material.MaterialID_Name.c_str());
  }
  materials.clear();
  // Only switched-on lights were ever added to the renderer.
  for (const auto& [id, light] : lights) {
    if (!light.LightEnable) continue;
    link.Q9DeleteLight(session.handle, lightNodeName(light).c_str());
    link.Q9SendLights(session.handle);
  }
  lights.clear();
  link.Q9ClearLights(session.handle);
  // The list itself stays: the next views update sends each of these scenes once more.
  for (const CameraRecord& scene : scenes) {
    link.Q9DeleteScene(session.handle, scene.Name.c_str());
    link.Q9SendCamera(session.handle);
  }
  link.SendScenes(session.handle, session.RawArchivePath().c_str());
  link.Q9ClearScenes(session.handle);
  session.SendToRenderer();
}

}  // namespace q9
