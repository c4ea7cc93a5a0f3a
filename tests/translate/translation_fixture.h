// A session on the reference link library with a clean journal, and an exchange folder of the
// test's own.
#pragma once

#include <gtest/gtest.h>

#include "app/exchange_folder.h"
#include "app/text.h"
#include "reference_link.h"
#include "scene/scene_container.h"
#include "test_files.h"

namespace q9 {

// Whether the record readers these tests build on are in place. Until they are, a test that reads
// a record file or looks up a map file skips itself rather than failing for the wrong reason.
inline bool CameraRecordsAreParsed() {
  CameraRecord camera;
  ParseCamera(u"Camera_Start\nCamera__fov [40]\nCamera_End\n", camera);
  return camera._fov == 40.0f;
}

inline bool MapFilesAreFound() {
  MaterialRecord material;
  ExtendMaterialRecord entry;
  entry.Type = 1;
  entry.nFlag = 2;
  entry.strFile = u"oak.jpg";
  material.extendMaterials.push_back(entry);
  return FindMapFile(material, 1) == u"oak.jpg";
}

#define Q9_SKIP_UNLESS(ready) \
  if (!(ready)) GTEST_SKIP() << #ready " is false: the record readers are not built yet"

class TranslationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::MakeFolder(exchange);
    ProcessExchangeFolder().Fix(exchange);
    ASSERT_TRUE(link.Start(session));
  }

  // The exchange folder as the journal shows it in a path, e.g. Folder() + "\\Textures\\oak.jpg".
  std::string Folder() const { return Utf8FromUtf16(exchange); }
  // A path as a JSON string of the journal.
  static std::string Quoted(const std::string& utf8) {
    return test::JournalText(Utf16FromUtf8(utf8));
  }

  test::ReferenceLink link;
  std::u16string exchange = link.folder().File(u"Data");
  SceneContainer container;
  LinkSession& session = container.session;
};

}  // namespace q9
