// An exchange folder below a user folder whose name holds Latin-1 and CJK characters and a space,
// as on a machine of a user named "Jürgen 山田": every file lands in place and every path
// reaches the renderer unchanged.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "end_to_end_fixture.h"
#include "scene/container_format.h"
#include "journal.h"

namespace q9 {
namespace {

using namespace e2e;

using container::kEntryNameUnits;
using container::kEntrySize;
using container::kEntryTypeAt;
constexpr size_t kEntriesAt = container::kDirectoryAt;  // the directory's first entry

class NonLatinPath : public EndToEnd {
 protected:
  NonLatinPath() {
    appData = user + u"\\AppData\\Roaming";
    exchange = appData + u"\\Vendrix\\Plandora2025_Q9Plugin\\Data";
  }

  // The sample exchange folder, its containers naming a project in the user's folder: the host
  // writes the project's path into every directory entry in use.
  void CopySamples() const {
    std::filesystem::copy(std::filesystem::path(Q9_SAMPLES_DIR_WINDOWS),
                          std::filesystem::path(Wide(exchange)),
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing);
    for (const char16_t* name : {u"\\_model.pdx", u"\\_mod.sm"}) {
      std::string bytes = test::ReadFileBytes(exchange + name);
      ASSERT_GT(bytes.size(), kEntriesAt + 2 * kEntrySize) << Utf8FromUtf16(name);
      for (size_t entry = 0; entry < 2; ++entry) {
        char* at = bytes.data() + kEntriesAt + entry * kEntrySize;
        if (at[kEntryTypeAt] == 0) continue;
        std::fill(at, at + 2 * kEntryNameUnits, '\0');
        for (size_t i = 0; i < project.size(); ++i) {
          at[2 * i] = static_cast<char>(project[i] & 0xFF);
          at[2 * i + 1] = static_cast<char>(project[i] >> 8);
        }
      }
      test::WriteFileBytes(exchange + name, bytes);
    }
  }

  std::u16string user = root.File(u"J\u00fcrgen \u5c71\u7530");
  std::u16string projects = user + u"\\Projekte";
  std::u16string project = projects + u"\\Villa \u5c71\u7530.pln";
};

TEST_F(NonLatinPath, FilesLandInPlaceAndPathsReachTheRendererUnchanged) {
  CopySamples();
  test::MakeFolder(projects);
  StartHost();
  StartRenderer();
  auto working = StartWorking(L"");
  ASSERT_TRUE(WaitUntil([&] { return Calls(Journal(), "DisConnect") >= 1; }, 15s));
  EXPECT_EQ(Run(L"cameraSync"), 0u);
  EXPECT_EQ(Run(L"ModelSync"), 0u);
  ASSERT_TRUE(WaitUntil([&] { return Count(HostRecord(), "1137 0 10") == 1; }, 15s));
  EXPECT_EQ(Run(L"lightSync"), 0u);
  // The update's transfer ends with DisConnect.
  ASSERT_TRUE(WaitUntil(
      [&] {
        const std::string text = Journal();
        return Calls(text, "SendModel") == 2 &&
               text.rfind("\"fn\":\"DisConnect\"") > text.rfind("\"fn\":\"SendModel\"");
      },
      15s));

  // The log beside the exchange folder, the sync record in it, the raw archive beside the project.
  const std::string log = Log();
  EXPECT_NE(log.find(Line("Sync Model state 0")), std::string::npos);
  EXPECT_EQ(Count(log, "]: Error: "), 0u) << log;
  const std::string record = test::ReadFileBytes(exchange + u"\\_mod.sync");
  // The record's texts are single bytes: "ü" as its own code, each CJK character as "?".
  std::string projectBytes;
  for (char16_t c : project) projectBytes += c <= 0xFF ? static_cast<char>(c) : '?';
  EXPECT_EQ(record.rfind("SourceProject: [" + projectBytes + "]\r\n", 0), 0u) << record;
  const std::u16string archive = projects + u"\\Villa \u5c71\u7530.q9a";
  EXPECT_TRUE(test::FileExists(archive));
  EXPECT_EQ(test::FolderEntryNames(projects).size(), 1u) << "no temporary file left";

  const std::string journalText = Journal();
  EXPECT_NE(journalText.find("\"fn\":\"Q9SaveRawToQ9a\",\"h\":1,\"args\":[" + test::JournalText(archive) + "]"),
            std::string::npos);
  for (const char16_t* file : {u"\\Textures\\oak.png", u"\\Textures\\brick_normal.png",
                               u"\\IES\\wallwasher.ies"}) {
    EXPECT_NE(journalText.find(test::JournalText(exchange + file)), std::string::npos)
        << Utf8FromUtf16(file);
  }
  EXPECT_NE(journalText.find("\"fn\":\"SetModelFilePath\",\"h\":1,\"args\":[" +
                             test::JournalText(u"Villa \u5c71\u7530") + "]"),
            std::string::npos);
}

}  // namespace
}  // namespace q9
