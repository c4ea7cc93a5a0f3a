#include "sync/camera_sync.h"
#include "translate/camera_translation.h"

#include <gmock/gmock.h>

#include "base/platform.h"
#include "sync/views_sync.h"
#include "translation_fixture.h"

#ifdef _WIN32
#include "held_file_win32.h"
#endif

namespace q9 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class CameraSyncTest : public TranslationTest {
 protected:
  void WriteCamera(const std::string& text) {
    test::WriteFileBytes(exchange + u"\\camera.cam", text);
  }
};

TEST_F(CameraSyncTest, SendsPositionTargetUpAndOneAndAHalfTimesTheFov) {
  WriteCamera(
      "Camera_Start\r\nCamera_Version [1]\r\nCamera_nType [2]\r\nCamera__fov [40]\r\n"
      "Camera_Name [Front]\r\nCamera__from [1 2 3]\r\nCamera__to [4 5 6]\r\n"
      "Camera__up [0 0 1]\r\nCamera_End\r\n");
  SyncCamera(session, process);
  EXPECT_THAT(link.Texts(),
              ElementsAre("SendCameraTransformFov [[1,2,3,4,5,6,0,0,1,60],60]"));
  EXPECT_EQ(link.Calls()[0].h, 1);
  EXPECT_EQ(session.camera.fov, 60.0f);
}

TEST_F(CameraSyncTest, FovIsMultipliedInSinglePrecision) {
  WriteCamera("Camera_Start\nCamera__fov [33.3]\nCamera_End\n");
  SyncCamera(session, process);
  const auto calls = link.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(test::JournalFloat(calls[0].args[1]), 33.3f * 1.5f);
}

// The messages of the log lines after the fixture's start of the session, timestamps cut.
std::vector<std::string> LogMessages(const ProcessState& process) {
  std::vector<std::string> messages = test::LogMessages(process.log.LogPath());
  if (messages.size() >= 2 && messages[0] == "Init Start" &&
      messages[1].rfind("Note: link library loaded from ", 0) == 0) {
    messages.erase(messages.begin(), messages.begin() + 2);
  }
  return messages;
}

TEST_F(CameraSyncTest, MissingFileSendsNothingAndIsLogged) {
  EXPECT_FALSE(SyncCamera(session, process));
  EXPECT_THAT(link.Calls(), IsEmpty());
  EXPECT_THAT(LogMessages(process),
              ElementsAre("Error: record file \"" +
                          platform::DisplayPath(exchange + u"\\camera.cam") +
                          "\" could not be read: it does not exist"));
}

// Each kind of record file that cannot be used, for both record files: one line each.
TEST_F(CameraSyncTest, RecordFilesThatCannotBeUsedAreLogged) {
  test::MakeFolder(exchange + u"\\camera.cam");
  EXPECT_FALSE(SyncCamera(session, process));
  test::WriteFileBytes(exchange + u"\\Views.cam", "");
  EXPECT_TRUE(SyncViews(container)) << "an empty list is still a list";
  const std::string views = platform::DisplayPath(exchange + u"\\Views.cam");
  EXPECT_THAT(LogMessages(process),
              ElementsAre("Error: record file \"" +
                              platform::DisplayPath(exchange + u"\\camera.cam") +
                              "\" could not be read: it is a folder",
                          "Warning: record file \"" + views + "\" is empty"));
}

#ifdef _WIN32
TEST_F(CameraSyncTest, RecordFileInUseByTheHostIsToldAsSuch) {
  WriteCamera("Camera_Start\nCamera_End\n");
  const test::HeldFile held(exchange + u"\\camera.cam");
  ASSERT_TRUE(held.held());
  process.fileInUseWait = FileInUseWait(std::chrono::milliseconds(0));
  EXPECT_FALSE(SyncCamera(session, process));
  EXPECT_THAT(LogMessages(process),
              ElementsAre("Error: record file \"" +
                          platform::DisplayPath(exchange + u"\\camera.cam") +
                          "\" could not be read: it was in use by another process; not waited "
                          "for (no wait set): " +
                          platform::SystemError(ERROR_SHARING_VIOLATION).text));
}
#endif

TEST_F(CameraSyncTest, TextWithoutACameraStillSendsZerosAndReplacesTheWholeBlock) {
  session.camera = CameraTransform{{9, 9, 9}, {9, 9, 9}, {9, 9, 9}, 9};
  WriteCamera("not a camera\n");
  SyncCamera(session, process);
  EXPECT_THAT(link.Texts(), ElementsAre("SendCameraTransformFov [[0,0,0,0,0,0,0,0,0,0],0]"));
}

TEST_F(CameraSyncTest, SeveralBlocksSendOneCameraWithTheLastValues) {
  WriteCamera(
      "Camera_Start\nCamera__fov [10]\nCamera__from [1 1 1]\nCamera_End\n"
      "Camera_Start\nCamera__fov [20]\nCamera_End\n");
  SyncCamera(session, process);
  EXPECT_THAT(link.Texts(), ElementsAre("SendCameraTransformFov [[1,1,1,0,0,0,0,0,0,30],30]"));
}

}  // namespace
}  // namespace q9
