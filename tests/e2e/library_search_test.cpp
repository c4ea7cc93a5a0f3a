// The link library is looked for beside the program, never in the folder the host happens to
// start the program from (a project folder unpacked from an archive, a network share).
#include <windows.h>

#include <gmock/gmock.h>

#include "end_to_end_fixture.h"

namespace q9 {
namespace {

using namespace e2e;
using ::testing::HasSubstr;

class LibrarySearch : public EndToEnd {
 protected:
  void SetUp() override {
    EndToEnd::SetUp();
    test::MakeFolder(program);
    test::MakeFolder(project);
    for (const wchar_t* name : {L"Q9_Exchange.exe", L"q9x.exe"}) {
      ASSERT_TRUE(CopyFileW((test::ProgramFolder() + name).c_str(), (Wide(program) + L"\\" + name).c_str(), FALSE));
    }
    PlantLibrary(project);
  }

  static void PlantLibrary(const std::u16string& folder) {
    ASSERT_TRUE(CopyFileW((test::ProgramFolder() + L"Q9Plugin.dll").c_str(),
                          (Wide(folder) + L"\\Q9Plugin.dll").c_str(), FALSE));
  }

  std::wstring Copied(const wchar_t* name) const { return L"\"" + Wide(program) + L"\\" + name + L"\""; }

  // q9x doctor as the copied q9x.exe gives it, started in the project folder.
  std::string DoctorOutput() const {
    const test::ChildResult result =
        test::RunChild(Copied(L"q9x.exe") + L" doctor --folder \"" + Wide(exchange) + L"\"",
                       Environment(), 60000, Wide(project));
    EXPECT_TRUE(result.started);
    return result.output;
  }

  std::u16string program = root.File(u"program");  // copies of the programs
  std::u16string project = root.File(u"project");  // the folder the host starts them from
};

TEST_F(LibrarySearch, ALibraryInTheWorkingFolderIsNeverLoaded) {
  StartHost();
  StartRenderer();
  {
    // Nothing beside the program: the renderer counts as missing, and the library in the
    // working folder never runs (it would have written the journal).
    ChildProcess planted(Copied(L"Q9_Exchange.exe"), Environment(), ChildProcess::Start::Running,
                         Wide(project));
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (box = FindWindowW(L"#32770", kMissingCaption)) != nullptr; }, 15s));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(planted.Wait(kExitWithin));
  }
  EXPECT_FALSE(test::FileExists(journal)) << Journal();
  const std::string log = Log();
  const size_t failed = log.find("]: Error: link library \"Q9Plugin.dll\" could not be loaded: ");
  ASSERT_NE(failed, std::string::npos) << log;
  EXPECT_NE(log.find("(error 126)\r\n", failed), std::string::npos) << log;  // the module was not found
  EXPECT_THAT(DoctorOutput(), HasSubstr("problem  link library: Q9Plugin.dll: cannot be loaded"));

  // With a library beside the program, that one is loaded and named in full.
  PlantLibrary(program);
  auto working = std::make_unique<ChildProcess>(Copied(L"Q9_Exchange.exe"), Environment(),
                                                ChildProcess::Start::Running, Wide(project));
  ASSERT_TRUE(WaitUntil([&] { return Calls(Journal(), "DisConnect") >= 1; }, 15s));
  const std::string beside = Utf8FromUtf16(program) + "\\Q9Plugin.dll";
  EXPECT_NE(Log().find(Line("Note: link library loaded from \"" + beside + "\"")), std::string::npos)
      << Log();
  EXPECT_THAT(DoctorOutput(), HasSubstr("ok       link library: Q9Plugin.dll: loaded from " + beside + ","));
}

}  // namespace
}  // namespace q9
