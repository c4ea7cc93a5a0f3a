// The renderer-missing message as the user sees it on Windows: a real message box, found by its
// caption from a second thread, read and closed there.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "base/exchange_folder.h"
#include "base/platform.h"
#include "link/link_session.h"
#include "test_files.h"

namespace q9 {
namespace {

struct SeenBox {
  bool found = false;
  std::wstring text;
  bool hasOwner = true;
  bool hasOkButton = false;
  bool hasCancelButton = true;
};

// Waits up to ten seconds for the box, reads it and presses OK.
SeenBox CloseMessageBox(const wchar_t* caption) {
  SeenBox seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    HWND box = FindWindowW(L"#32770", caption);
    if (box) {
      seen.found = true;
      wchar_t text[1024] = {};
      GetDlgItemTextW(box, 0xFFFF, text, 1024);  // the box's static text
      seen.text = text;
      seen.hasOwner = GetWindow(box, GW_OWNER) != nullptr;
      seen.hasOkButton = GetDlgItem(box, IDOK) != nullptr;
      seen.hasCancelButton = GetDlgItem(box, IDCANCEL) != nullptr;
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
      break;
    }
    Sleep(20);
  }
  return seen;
}

TEST(RendererMissingMessageBox, HasTheCaptionTheTextAndOnlyAnOkButtonAndNoOwner) {
  test::TempFolder folder;
  ProcessState process;  // the platform's message box
  process.exchangeFolder.Fix(folder.path() + u"\\");
  const std::wstring caption(std::begin(LinkSession::kRendererMissingCaption),
                             std::end(LinkSession::kRendererMissingCaption) - 1);
  SeenBox seen;
  std::thread closer([&] { seen = CloseMessageBox(caption.c_str()); });
  LinkSession session(process);
  session.libraryPath = folder.File(u"NoSuchLibrary.dll");
  const bool started = session.Initialise();
  closer.join();

  EXPECT_FALSE(started);
  ASSERT_TRUE(seen.found);
  const std::u16string expected = LinkSession::RendererMissingText();
  EXPECT_EQ(seen.text, std::wstring(expected.begin(), expected.end()));
  EXPECT_FALSE(seen.hasOwner);
  EXPECT_TRUE(seen.hasOkButton);
  EXPECT_FALSE(seen.hasCancelButton);
}

}  // namespace
}  // namespace q9
