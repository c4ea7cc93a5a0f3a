// Not built yet.
#include "scene/scene_container.h"

namespace q9 {
std::u16string DirectoryEntry::name() const { return {}; }
int32_t DirectoryEntry::type() const { return 0; }
int32_t DirectoryEntry::offset() const { return 0; }
void SceneContainer::open() {}
void SceneContainer::loadHeader() {}
std::u16string SceneContainer::readString() { return {}; }
uint32_t SceneContainer::readIdList(std::vector<uint32_t>& list) {
  list.clear();
  return 0;
}
void SceneContainer::loadSection(int32_t) {}
void SceneContainer::applyChanges() {}
void SceneContainer::applyChangeList() {}
void SceneContainer::resetAll() {}
}  // namespace q9
