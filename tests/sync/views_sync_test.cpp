#include "sync/views_sync.h"
#include "translate/views_translation.h"

#include <gmock/gmock.h>

#include <charconv>

#include "translation_fixture.h"

namespace q9 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

CameraRecord View(const char16_t* name, Float3 from, Float3 to, Float3 up, float fov) {
  CameraRecord view;
  view.Name = name;
  view._from = from;
  view._to = to;
  view._up = up;
  view._fov = fov;
  return view;
}

const CameraRecord kFront = View(u"Front", {0, -1000, 170}, {0, 0, 170}, {0, 0, 1}, 40);
const CameraRecord kSide = View(u"Side", {1, 0, 170}, {0, 0, 170}, {0, 0, 1}, 40);
const CameraRecord kTop = View(u"Top", {0, 0, 2000}, {0, 0, 0}, {0, 1, 0}, 30);

CameraListRecord List(std::vector<CameraRecord> cameras, int32_t active) {
  CameraListRecord list;
  list.cameras = std::move(cameras);
  list.nActCamera = active;
  return list;
}

std::string Number(float value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// The camera block and the fov as the journal shows them.
std::string Placement(const CameraRecord& view) {
  const float fov = view._fov * 1.5f;
  std::string text = "[";
  for (const Float3& v : {view._from, view._to, view._up}) {
    text += Number(v.x) + "," + Number(v.y) + "," + Number(v.z) + ",";
  }
  return text + Number(fov) + "]," + Number(fov);
}

std::string Camera(const CameraRecord& view) {
  return "SendCameraTransformFov [" + Placement(view) + "]";
}

std::string Scene(const CameraRecord& view) {
  const std::string name = test::JournalText(view.Name);
  return "AddScene [" + name + "," + name + "," + Placement(view) + "]";
}

std::vector<std::u16string> Names(const std::vector<CameraRecord>& scenes) {
  std::vector<std::u16string> names;
  for (const CameraRecord& scene : scenes) names.push_back(scene.Name);
  return names;
}

class ViewsSyncTest : public TranslationTest {
 protected:
  std::string Scenes() const {
    return "SendScenes [" + test::JournalText(session.RawArchivePath()) + "]";
  }
  void Update(const CameraListRecord& list) {
    link.ClearJournal();
    UpdateScenes(list, container.scenes, session);
  }
};

TEST_F(ViewsSyncTest, FirstSyncSendsTheActiveCameraThenEachOtherViewThenTheScenes) {
  Update(List({kFront, kSide, kTop}, 0));
  EXPECT_THAT(link.Texts(), ElementsAre(Camera(kFront), Scene(kSide), "Q9SendCamera []",
                                        Scene(kTop), "Q9SendCamera []", Scenes()));
  EXPECT_THAT(Names(container.scenes), ElementsAre(u"Front", u"Side", u"Top"));
  // The camera block holds the last scene sent.
  EXPECT_EQ(session.camera.from[2], 2000.0f);
  EXPECT_EQ(session.camera.fov, 45.0f);
}

TEST_F(ViewsSyncTest, SameListAgainSendsEverythingAgainWithoutGrowing) {
  Update(List({kFront, kSide, kTop}, 0));
  const auto first = link.Texts();
  Update(List({kFront, kSide, kTop}, 0));
  EXPECT_EQ(link.Texts(), first);
  EXPECT_EQ(container.scenes.size(), 3u);
}

TEST_F(ViewsSyncTest, MovesWithinTheToleranceKeepTheStoredScene) {
  Update(List({kFront, kSide}, 0));
  CameraRecord nudged = kSide;
  nudged._from.x += 0.00005f;
  Update(List({kFront, nudged}, 0));
  EXPECT_EQ(link.Texts()[1], Scene(kSide));
  EXPECT_EQ(container.scenes[1]._from.x, kSide._from.x);

  CameraRecord moved = kSide;
  moved._from.x += 0.001f;
  moved._up.z = 1.00009f;  // within the tolerance, but taken along with the move
  Update(List({kFront, moved}, 0));
  EXPECT_EQ(link.Texts()[1], Scene(moved));
  EXPECT_EQ(container.scenes[1]._from.x, moved._from.x);
  EXPECT_EQ(container.scenes[1]._up.z, 1.00009f);
}

TEST_F(ViewsSyncTest, AnyFovChangeUpdatesTheScene) {
  Update(List({kFront, kSide}, 0));
  CameraRecord wider = kSide;
  wider._fov = std::nextafter(kSide._fov, 100.0f);
  Update(List({kFront, wider}, 0));
  EXPECT_EQ(link.Texts()[1], Scene(wider));
  EXPECT_EQ(container.scenes[1]._fov, wider._fov);
}

TEST_F(ViewsSyncTest, RenamedViewIsAddedAndTheOldNameStays) {
  Update(List({kFront, kSide}, 0));
  CameraRecord renamed = kSide;
  renamed.Name = u"Left";
  Update(List({kFront, renamed}, 0));
  EXPECT_THAT(link.Texts(), ElementsAre(Camera(kFront), Scene(renamed), "Q9SendCamera []", Scenes()));
  EXPECT_THAT(Names(container.scenes), ElementsAre(u"Front", u"Side", u"Left"));
}

TEST_F(ViewsSyncTest, ActiveIndexOutsideTheListMakesEveryCameraAView) {
  for (int32_t active : {3, 5, -1}) {
    container.scenes.clear();
    Update(List({kFront, kSide, kTop}, active));
    EXPECT_THAT(link.Texts(),
                ElementsAre(Scene(kFront), "Q9SendCamera []", Scene(kSide), "Q9SendCamera []",
                            Scene(kTop), "Q9SendCamera []", Scenes()))
        << active;
    EXPECT_THAT(Names(container.scenes), ElementsAre(u"Front", u"Side", u"Top"));
  }
}

TEST_F(ViewsSyncTest, ActiveCameraOverwritesElementZeroWhateverItHeld) {
  Update(List({kSide, kTop}, -1));
  Update(List({kFront, kTop}, 0));
  EXPECT_THAT(Names(container.scenes), ElementsAre(u"Front", u"Top"));
  EXPECT_THAT(link.Texts(), ElementsAre(Camera(kFront), Scene(kTop), "Q9SendCamera []", Scenes()));
}

TEST_F(ViewsSyncTest, ViewNamedLikeTheActiveCameraMatchesElementZero) {
  CameraRecord other = kFront;
  other._from.y = -500;
  Update(List({kFront, other}, 0));
  EXPECT_THAT(link.Texts(), ElementsAre(Camera(kFront), Scene(other), "Q9SendCamera []", Scenes()));
  ASSERT_EQ(container.scenes.size(), 1u);
  EXPECT_EQ(container.scenes[0]._from.y, -500.0f);
}

TEST_F(ViewsSyncTest, SameNameTwiceInOneListIsSentTwiceUnderThatName) {
  CameraRecord second = kSide;
  second._to.z = 0;
  Update(List({kSide, second}, -1));
  EXPECT_THAT(link.Texts(), ElementsAre(Scene(kSide), "Q9SendCamera []", Scene(second),
                                        "Q9SendCamera []", Scenes()));
  ASSERT_EQ(container.scenes.size(), 1u);
  EXPECT_EQ(container.scenes[0]._to.z, 0.0f);
}

TEST_F(ViewsSyncTest, EmptyListOnlySendsTheScenesAndKeepsTheCamera) {
  session.camera = CameraTransform{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, 10};
  Update(List({}, 0));
  EXPECT_THAT(link.Texts(), ElementsAre(Scenes()));
  EXPECT_EQ(session.camera.up[2], 9.0f);
  EXPECT_THAT(container.scenes, IsEmpty());
}

TEST_F(ViewsSyncTest, MissingViewsFileSendsNothing) {
  SyncViews(container);
  EXPECT_THAT(link.Calls(), IsEmpty());
}

TEST_F(ViewsSyncTest, ViewsFileIsReadFromTheExchangeFolder) {
  test::WriteFileBytes(
      exchange + u"\\Views.cam",
      "Cameras_Start\r\nCameras_Version [1]\r\nCameras_nActCamera [1]\r\n"
      "Cameras_Camera_ObjectSTART\r\nCamera_Start\r\nCamera__fov [40]\r\nCamera_Name [Side]\r\n"
      "Camera__from [1 0 170]\r\nCamera__to [0 0 170]\r\nCamera__up [0 0 1]\r\nCamera_End\r\n"
      "Cameras_Camera_ObjectEND\r\n"
      "Cameras_Camera_ObjectSTART\r\nCamera_Start\r\nCamera__fov [40]\r\nCamera_Name [Front]\r\n"
      "Camera__from [0 -1000 170]\r\nCamera__to [0 0 170]\r\nCamera__up [0 0 1]\r\nCamera_End\r\n"
      "Cameras_Camera_ObjectEND\r\nCameras_End\r\n");
  SyncViews(container);
  EXPECT_THAT(link.Texts(), ElementsAre(Camera(kFront), Scene(kSide), "Q9SendCamera []", Scenes()));
  EXPECT_THAT(Names(container.scenes), ElementsAre(u"Front", u"Side"));
}

TEST_F(ViewsSyncTest, ViewsFileWithoutCamerasOnlySendsTheScenes) {
  test::WriteFileBytes(exchange + u"\\Views.cam", "nothing here\n");
  SyncViews(container);
  EXPECT_THAT(link.Texts(), ElementsAre(Scenes()));
}

}  // namespace
}  // namespace q9
