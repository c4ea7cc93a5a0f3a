// A session on the reference link library with a clean journal, and an exchange folder of the
// test's own.
#pragma once

#include <gtest/gtest.h>

#include "base/exchange_folder.h"
#include "base/text.h"
#include "reference_link.h"
#include "scene/scene_container.h"
#include "test_files.h"

namespace q9 {

class TranslationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::MakeFolder(exchange);
    process.exchangeFolder.Fix(exchange);
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
  ProcessState process;
  SceneContainer container{process};
  LinkSession& session = container.session;
};

}  // namespace q9
