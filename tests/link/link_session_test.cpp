#include "link/link_session.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/exchange_folder.h"
#include "base/platform.h"
#include "base/text.h"
#include "reference_link.h"
#include "test_files.h"

namespace q9 {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

std::string Utf8(const std::u16string& text) { return Utf8FromUtf16(text); }

// The file the reference library is loaded from: beside the test program on Windows, where it is
// given by its bare name; the path given natively.
std::u16string LoadedLibraryFile() {
#ifdef _WIN32
  wchar_t program[1024] = {};
  const DWORD length = GetModuleFileNameW(nullptr, program, 1024);
  std::u16string path(program, program + length);
  return path.substr(0, path.find_last_of(u'\\') + 1) + test::ReferenceLink::LibraryPath();
#else
  return test::ReferenceLink::LibraryPath();
#endif
}

std::string LoadedNote() {
  return "Note: link library loaded from \"" + platform::DisplayPath(LoadedLibraryFile()) + "\"";
}

TEST(LinkSessionNames, ExtensionIsCutWithinTheLastPathComponentOnly) {
  struct Case {
    std::u16string modelFilePath;
    std::u16string baseName;
    std::u16string rawArchivePath;
  };
  const Case cases[] = {
      {u"C:\\p\\house.pln", u"house", u"C:\\p\\house.q9a"},
      // A full stop in a folder name is no extension: the archive stays beside the model.
      {u"C:\\Projects\\My.Houses\\villa", u"villa", u"C:\\Projects\\My.Houses\\villa.q9a"},
      {u"C:\\Projects\\My.Houses\\villa.pln", u"villa", u"C:\\Projects\\My.Houses\\villa.q9a"},
      {u"", u"", u".q9a"},
      {u"C:\\p\\a.b.c", u"a.b", u"C:\\p\\a.b.q9a"},
      {u"/home/ann/My.Models/tower.pln", u"tower", u"/home/ann/My.Models/tower.q9a"},
      {u"C:\\dir.x/sub\\name", u"name", u"C:\\dir.x/sub\\name.q9a"},
      {u"house.pln", u"house", u"house.q9a"},
      {u"C:\\p\\.pln", u"", u"C:\\p\\.q9a"},
      {u"C:\\p.q\\", u"", u"C:\\p.q\\.q9a"},
  };
  ProcessState process;
  for (const Case& c : cases) {
    LinkSession session(process);
    session.modelFilePath = c.modelFilePath;
    EXPECT_EQ(session.ModelBaseName(), c.baseName) << Utf8(c.modelFilePath);
    EXPECT_EQ(session.RawArchivePath(), c.rawArchivePath) << Utf8(c.modelFilePath);
  }
}

class LinkSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The log line "Init Start" goes into the test's own folder.
    process.exchangeFolder.Fix(link.folder().path() + u"\\");
    // The renderer-missing messages a session showed, caught instead of a message box.
    process.showErrorMessage = [this](const std::u16string& caption, const std::u16string& text) {
      shown.emplace_back(caption, text);
    };
  }

  bool InitialiseWith(LinkSession& session, const std::u16string& libraryPath) {
    session.libraryPath = libraryPath;
    session.modelFilePath = link.folder().File(u"villa.pln");
    return session.Initialise();
  }

  // The messages of the log lines written so far, timestamps cut.
  std::vector<std::string> LogMessages() const {
    return test::LogMessages(link.folder().File(u"Q9_Log.log"));
  }

  void ExpectRendererMissingMessage() {
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, u"Error: missing Q9 Render application!");
    EXPECT_EQ(shown[0].second, LinkSession::RendererMissingText());
  }

  test::ReferenceLink link;
  ProcessState process;
  std::vector<std::pair<std::u16string, std::u16string>> shown;
};

TEST_F(LinkSessionTest, RendererMissingTextEndsWithTheWebAddressAfterAnEmptyLine) {
  EXPECT_EQ(LinkSession::RendererMissingText(),
            u"Missing the Q9 render. Install it and start the command.\n\n" +
                Utf16FromUtf8(Q9_TEST_RENDERER_WEB_ADDRESS));
}

TEST_F(LinkSessionTest, InitialiseStartsTheLinkInOrderAndLogs) {
  LinkSession session(process);
  ASSERT_TRUE(InitialiseWith(session, test::ReferenceLink::LibraryPath()));
  EXPECT_NE(session.handle, nullptr);
  const std::u16string archive = link.folder().File(u"villa.q9a");
  EXPECT_THAT(link.Texts(),
              ElementsAre(R"(SetQ9RenderPath [""])", R"(StartLinkQ9Render ["villa"])",
                          "CreateSession []", "Q9SaveRawToQ9a [" + test::JournalText(archive) + "]",
                          "Q9GetRenderVersion [32]", "Q9SetMaterialVersion [1]",
                          R"(SetModelFilePath ["villa"])"));
  const auto calls = link.Calls();
  EXPECT_EQ(calls[2].ret, 1);
  EXPECT_EQ(calls[3].h, 1);
  EXPECT_EQ(calls[4].h, std::nullopt);
  EXPECT_TRUE(test::FileExists(link.folder().File(u"villa.q9a")));
  // A healthy start adds only the file the system loaded: the full path, even for a bare name.
  EXPECT_THAT(LogMessages(), ElementsAre("Init Start", LoadedNote()));
  EXPECT_THAT(shown, IsEmpty());
}

TEST_F(LinkSessionTest, TransferConnectsSendsSavesAndDisconnects) {
  LinkSession session(process);
  ASSERT_TRUE(link.Start(session));
  EXPECT_TRUE(session.SendToRenderer());
  const std::u16string archive = session.RawArchivePath();
  EXPECT_THAT(link.Texts(), ElementsAre("Connect []", "HasConnected []", "SendModel []",
                                        "Q9SaveRawToQ9a [" + test::JournalText(archive) + "]",
                                        "DisConnect []"));
  EXPECT_EQ(link.Calls()[1].ret, true);
}

TEST_F(LinkSessionTest, RefusedConnectionSkipsTheModelButStillSavesTheArchive) {
  LinkSession session(process);
  ASSERT_TRUE(link.Start(session));
  test::WriteFileBytes(session.RawArchivePath(), "old");
  test::ReferenceLink::SetVariable("Q9PLUGIN_REFUSE_CONNECT", u"1");
  EXPECT_TRUE(session.SendToRenderer());
  EXPECT_THAT(link.Names(), ElementsAre("Connect", "HasConnected", "Q9SaveRawToQ9a", "DisConnect"));
  EXPECT_EQ(link.Calls()[1].ret, false);
  EXPECT_THAT(test::ReadFileBytes(session.RawArchivePath()), HasSubstr("\"materials\""));
  EXPECT_EQ(LogMessages().back(),
            "Error: the renderer refused the connection (HasConnected false); the model was not sent");
}

TEST_F(LinkSessionTest, TeardownDisconnectsAndDestroysOnce) {
  LinkSession session(process);
  ASSERT_TRUE(link.Start(session));
  session.Teardown();
  EXPECT_EQ(session.handle, nullptr);
  session.Teardown();
  EXPECT_THAT(link.Texts(), ElementsAre("DisConnect []", "DestroySession []"));
  EXPECT_EQ(link.Calls()[1].h, 1);
  // Without a session nothing more reaches the library.
  EXPECT_FALSE(session.SendToRenderer());
  EXPECT_EQ(link.Calls().size(), 2u);
}

TEST_F(LinkSessionTest, DestructionTearsTheSessionDown) {
  {
    LinkSession session(process);
    ASSERT_TRUE(link.Start(session));
  }
  EXPECT_THAT(link.Names(), ElementsAre("DisConnect", "DestroySession"));
}

TEST_F(LinkSessionTest, BeforeInitialiseNothingIsLoadedAndCallsAreHarmless) {
  LinkSession session(process);
  session.libraryPath = test::ReferenceLink::LibraryPath();
  EXPECT_FALSE(session.SendToRenderer());
  session.Teardown();
  const LinkCalls& f = session.link();
  f.SetQ9RenderPath(u"");
  EXPECT_EQ(f.StartLinkQ9Render(u"villa"), 0);
  EXPECT_EQ(f.CreateSession(), nullptr);
  EXPECT_FALSE(f.HasConnected(nullptr));
  CameraTransform camera{};
  f.AddScene(nullptr, u"Front", u"Front", &camera, 60);
  f.MaxAddTriangles(nullptr, u"mesh", 5, nullptr, nullptr, nullptr, 0);
  EXPECT_FALSE(test::FileExists(link.journalPath()));
}

TEST_F(LinkSessionTest, StartResultOtherThanZeroMeansNoSession) {
  test::ReferenceLink::SetVariable("Q9PLUGIN_START_RESULT", u"3");
  LinkSession session(process);
  EXPECT_FALSE(InitialiseWith(session, test::ReferenceLink::LibraryPath()));
  EXPECT_EQ(session.handle, nullptr);
  EXPECT_THAT(link.Texts(), ElementsAre(R"(SetQ9RenderPath [""])", R"(StartLinkQ9Render ["villa"])"));
  EXPECT_EQ(link.Calls()[1].ret, 3);
  ExpectRendererMissingMessage();
  EXPECT_THAT(LogMessages(),
              ElementsAre("Init Start", LoadedNote(),
                          "Error: StartLinkQ9Render returned 3 (0 expected); no session was created"));
}

TEST_F(LinkSessionTest, NullSessionMeansRendererMissing) {
  test::ReferenceLink::SetVariable("Q9PLUGIN_NO_SESSION", u"1");
  LinkSession session(process);
  EXPECT_FALSE(InitialiseWith(session, test::ReferenceLink::LibraryPath()));
  EXPECT_THAT(link.Names(), ElementsAre("SetQ9RenderPath", "StartLinkQ9Render", "CreateSession"));
  EXPECT_EQ(link.Calls()[2].ret, 0);
  ExpectRendererMissingMessage();
  EXPECT_FALSE(session.SendToRenderer());
  EXPECT_EQ(link.Calls().size(), 3u);
  EXPECT_THAT(LogMessages(),
              ElementsAre("Init Start", LoadedNote(), "Error: CreateSession returned no session"));
}

TEST_F(LinkSessionTest, MissingLibraryMeansRendererMissing) {
  LinkSession session(process);
  const std::u16string path = link.folder().File(u"NoSuchLibrary.dll");
  EXPECT_FALSE(InitialiseWith(session, path));
  ExpectRendererMissingMessage();
  EXPECT_FALSE(session.SendToRenderer());
  EXPECT_FALSE(test::FileExists(link.journalPath()));
  // The path tried and the system's own reason.
  const std::vector<std::string> messages = LogMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "Init Start");
  const std::string prefix =
      "Error: link library \"" + platform::DisplayPath(path) + "\" could not be loaded: ";
  EXPECT_THAT(messages[1], ::testing::StartsWith(prefix));
  EXPECT_GT(messages[1].size(), prefix.size() + 3);
#ifdef _WIN32
  EXPECT_THAT(messages[1], ::testing::EndsWith("(error 126)"));  // the module was not found
#endif
}

TEST_F(LinkSessionTest, FileThatIsNoLibraryIsReportedWithTheSystemsReason) {
  const std::u16string path = link.folder().File(u"NotALibrary.dll");
  test::WriteFileBytes(path, "plain text, no library");
  LinkSession session(process);
  EXPECT_FALSE(InitialiseWith(session, path));
  EXPECT_THAT(LogMessages().back(), ::testing::StartsWith("Error: link library \"" +
                                                          platform::DisplayPath(path) +
                                                          "\" could not be loaded: "));
}

TEST_F(LinkSessionTest, EmptyLibraryPathMeansRendererMissing) {
  LinkSession session(process);
  EXPECT_FALSE(InitialiseWith(session, u""));
  ExpectRendererMissingMessage();
  EXPECT_THAT(LogMessages(), ElementsAre("Init Start", "Error: no link library path was given"));
}

TEST_F(LinkSessionTest, LibraryLackingAFunctionMeansRendererMissingAndIsNeverCalled) {
  LinkSession session(process);
  EXPECT_FALSE(InitialiseWith(session, Utf16FromUtf8(Q9_PARTIAL_LINK_LIBRARY)));
  ExpectRendererMissingMessage();
  EXPECT_EQ(session.handle, nullptr);
  EXPECT_EQ(session.link().CreateSession(), nullptr);  // still the stand-ins
  // Each missing function by name, in the order of the library's contract.
  const std::vector<std::string> messages = LogMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_THAT(messages[1], ::testing::StartsWith("Error: link library \""));
  EXPECT_THAT(messages[1], HasSubstr("\" lacks 35 of 38 functions: DestroySession, Connect, "
                                     "HasConnected, SendModel, DisConnect, "));
  EXPECT_THAT(messages[1], ::testing::EndsWith(", Q9ClearScenes, Q9DeleteScene"));
  EXPECT_THAT(messages[1], Not(HasSubstr("CreateSession")));
}

#ifndef _WIN32
TEST_F(LinkSessionTest, NativeRendererMissingMessageGoesToStandardError) {
  process.showErrorMessage = platform::ShowErrorMessage;
  LinkSession session(process);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(session.Initialise());  // the native build has no library unless one is given
  const std::string shown = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(shown, "Error: missing Q9 Render application!\n" +
                       Utf8(LinkSession::RendererMissingText()) + "\n");
}
#endif

}  // namespace
}  // namespace q9
