// The reason a file operation failed, as the operating system gives it: taken where the call
// failed, never cleared before it is kept, and on Windows a file in use by another process told
// apart from a missing right.
#include <gmock/gmock.h>

#include <cerrno>
#include <string>

#include "base/platform.h"
#include "test_files.h"

#ifdef _WIN32
#include <windows.h>

#include "held_file_win32.h"
#endif

namespace q9 {
namespace {

using ::testing::EndsWith;

TEST(FileErrorTest, MissingFileIsToldInTheSystemsWords) {
  test::TempFolder folder;
  platform::FileError error;
  EXPECT_EQ(platform::OpenFile(folder.File(u"absent.cam"), "rb", &error), nullptr);
#ifdef _WIN32
  EXPECT_EQ(error.code, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_THAT(error.text, EndsWith(" (error 2)"));
#else
  EXPECT_EQ(error.code, static_cast<uint32_t>(ENOENT));
#endif
  EXPECT_EQ(error.text, platform::SystemError(error.code).text);
  EXPECT_FALSE(error.sharingViolation);
}

#ifndef _WIN32
// A device that takes no bytes: every open succeeds and every write fails for want of space.
// The reason must survive to the caller whether the write, the flush or the close failed.
TEST(FileErrorTest, FailedWritesKeepTheirReason) {
  const std::string noSpace = platform::SystemError(ENOSPC).text;
  const std::string big(1 << 20, 'x');  // beyond any runtime buffer: the write itself fails
  for (const std::string& bytes : {std::string("one line\n"), big}) {
    std::optional<platform::TextFile> text =
        platform::TextFile::Open(u"/dev/full", platform::TextFile::Mode::Replace);
    ASSERT_TRUE(text);
    text->Write(bytes);
    platform::FileError error;
    EXPECT_FALSE(text->Finish(&error));
    EXPECT_EQ(error.text, noSpace) << bytes.size() << " bytes";

    platform::UniqueFile file = platform::OpenFile(u"/dev/full", "wb");
    ASSERT_TRUE(file);
    error = {};
    const bool wrote = platform::WriteToFile(file.get(), bytes, &error);
    EXPECT_FALSE(platform::FinishFile(std::move(file), wrote ? &error : nullptr));
    EXPECT_EQ(error.text, noSpace) << bytes.size() << " bytes";

    error = {};
    EXPECT_FALSE(platform::AppendToFile(u"/dev/full", bytes, &error));
    EXPECT_EQ(error.code, static_cast<uint32_t>(ENOSPC));
  }
}
#endif

#ifdef _WIN32
// Another program holding the file without sharing it: each way of opening a file names the
// sharing violation (the C runtime alone would say "Permission denied").
TEST(FileErrorTest, FileInUseIsASharingViolation) {
  test::TempFolder folder;
  const std::u16string path = folder.File(u"_mod.sm");
  const std::string inUse = platform::SystemError(ERROR_SHARING_VIOLATION).text;
  EXPECT_THAT(inUse, EndsWith(" (error 32)"));
  {
    const test::HeldFile held(path);
    ASSERT_TRUE(held.held());
    platform::FileError opened;
    EXPECT_EQ(platform::OpenFile(path, "rb+", &opened), nullptr);
    platform::FileError text;
    EXPECT_FALSE(platform::TextFile::Open(path, platform::TextFile::Mode::Replace, &text));
    platform::FileError appended;
    EXPECT_FALSE(platform::AppendToFile(path, "line\n", &appended));
    for (const platform::FileError& error : {opened, text, appended}) {
      EXPECT_EQ(error.code, static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
      EXPECT_EQ(error.text, inUse);
      EXPECT_TRUE(error.sharingViolation);
    }
  }
  EXPECT_NE(platform::OpenFile(path, "rb+"), nullptr) << "free again once the holder is gone";
}

// What the system refuses outright (a folder cannot be opened as a file) is no sharing violation.
TEST(FileErrorTest, RefusedAccessIsNotASharingViolation) {
  test::TempFolder folder;
  test::MakeFolder(folder.File(u"camera.cam"));
  platform::FileError error;
  EXPECT_EQ(platform::OpenFile(folder.File(u"camera.cam"), "rb+", &error), nullptr);
  EXPECT_EQ(error.code, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(error.text, platform::SystemError(ERROR_ACCESS_DENIED).text);
  EXPECT_FALSE(error.sharingViolation);
}

TEST(FileErrorTest, CodeWithoutASystemTextStillNamesItsNumber) {
  EXPECT_EQ(platform::SystemError(0x20001234).text, "unknown error (error 536875572)");
}
#endif

}  // namespace
}  // namespace q9
