#include <gmock/gmock.h>

#include "scene_fixture.h"
#include "translate/light_translation.h"

namespace q9 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

LightSourceRecord Light(int32_t id, bool on) {
  LightSourceRecord light;
  light.LightSolidID = id;
  light.LightEnable = on;
  return light;
}

MaterialRecord Material(const char16_t* name) {
  MaterialRecord material;
  material.MaterialID_Name = name;
  return material;
}

CameraRecord Scene(const char16_t* name) {
  CameraRecord scene;
  scene.Name = name;
  return scene;
}

json Item(const std::string& kind, json ids) { return {{"kind", kind}, {"ids", std::move(ids)}}; }

class ApplyChangesTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    Use(u"_mod.sm");
  }
  // Sends solids with these ids the way a geometry section would have.
  void Sent(std::initializer_list<int32_t> ids) {
    for (int32_t id : ids) {
      container.solids[static_cast<uint32_t>(id)] =
          SolidEntry{0, u"Solid_" + Ascii16(std::to_string(id)), id};
    }
  }
  void WriteChanges(const std::string& project, json changeList) {
    Write(u"_mod.sm", {{"entries", json::array({{{"name", project}, {"changeList", std::move(changeList)}}})}});
  }
  std::string Archive() const { return test::JournalText(session.RawArchivePath()); }
};

// --- same project ---

TEST_F(ApplyChangesTest, SameProjectDeletesTheChangedSolidsThatWereSentThenEveryLight) {
  container.currentSectionName = u"C:\\p\\Villa.pln";
  Sent({7, 9});
  container.lights[4] = Light(4, false);
  container.lights[static_cast<uint32_t>(-3)] = Light(-3, true);
  WriteChanges("C:\\p\\Villa.pln", {{"items", json::array({Item("Solid", {9, 12})})}});
  container.applyChanges();
  EXPECT_THAT(link.Texts(), ElementsAre("Q9DeleteNode [\"Solid_9\"]", "Q9EndNode []",
                                        "Q9SendProcessed []", "DisConnect []",
                                        "Q9DeleteLight [\"Light4\"]", "Q9SendLights []",
                                        "Q9DeleteLight [\"Light-3\"]", "Q9SendLights []"));
  EXPECT_EQ(container.solids.size(), 1u);
  EXPECT_EQ(container.solids.count(7), 1u);
  EXPECT_THAT(container.lights, IsEmpty());
  EXPECT_THAT(container.changedSolids, ElementsAre(9u, 12u));
  EXPECT_EQ(container.file, nullptr);
}

TEST_F(ApplyChangesTest, EmptyProjectNamesAreTheSameProject) {
  Sent({1});
  WriteChanges("", {{"items", json::array({Item("Solid", {1})})}});
  container.applyChanges();
  EXPECT_THAT(container.solids, IsEmpty());
  EXPECT_EQ(link.Texts().front(), "Q9DeleteNode [\"Solid_1\"]");
}

TEST_F(ApplyChangesTest, LastItemOfAKindWinsAndOthersAreSkipped) {
  WriteChanges("", {{"items", json::array({Item("Solid", {1}), Item("solid", {2}), Item("Material", {5, 6}),
                                           Item("Solids", {3}), Item("Solid", {4})})}});
  container.applyChanges();
  EXPECT_THAT(container.changedSolids, ElementsAre(4u));
  EXPECT_THAT(container.changedMaterials, ElementsAre(5u, 6u));
}

TEST_F(ApplyChangesTest, PairTableOfThreeValuesVisitsValuesZeroAndTwo) {
  // Values: item 0's offset, its size, item 1's offset; item 2 lies beyond the count.
  WriteChanges("", {{"count", 3}, {"items", json::array({Item("Solid", {1}), Item("Material", {2}),
                                                         Item("Solid", {3})})}});
  container.applyChanges();
  EXPECT_THAT(container.changedSolids, ElementsAre(1u));
  EXPECT_THAT(container.changedMaterials, ElementsAre(2u));
}

TEST_F(ApplyChangesTest, ChangeListWithoutASolidItemKeepsThePreviousIds) {
  Sent({5});
  container.changedSolids = {5};
  WriteChanges("", {{"items", json::array({Item("Material", {1})})}});
  container.applyChanges();
  EXPECT_THAT(container.solids, IsEmpty()) << "the ids of the previous list still count";
}

TEST_F(ApplyChangesTest, SolidItemWithoutIdsOnlyRemovesTheLights) {
  Sent({5});
  container.changedSolids = {5};
  container.lights[1] = Light(1, true);
  WriteChanges("", {{"items", json::array({Item("Solid", json::array())})}});
  container.applyChanges();
  EXPECT_THAT(container.changedSolids, IsEmpty());
  EXPECT_EQ(container.solids.size(), 1u);
  EXPECT_THAT(link.Texts(), ElementsAre("Q9SendProcessed []", "DisConnect []",
                                        "Q9DeleteLight [\"Light1\"]", "Q9SendLights []"));
}

TEST_F(ApplyChangesTest, TruncatedChangeListBehavesAsAnEmptyOne) {
  Sent({5});
  container.changedSolids = {7};
  Write(u"_mod.sm", {{"entries", json::array({{{"name", ""}, {"changeList", {{"items", json::array({Item("Solid", {5})})}}}}})},
                     {"truncate", 208646}});
  container.applyChanges();
  EXPECT_THAT(container.changedSolids, ElementsAre(7u));
  EXPECT_EQ(container.solids.size(), 1u);
}

// --- nothing to apply ---

TEST_F(ApplyChangesTest, EntryOfAnotherTypeOrNoEntryInUseChangesNothing) {
  Sent({1});
  container.lights[1] = Light(1, true);
  Write(u"_mod.sm", {{"entries", json::array({{{"name", ""}, {"type", 2}, {"changeList", {{"items", json::array({Item("Solid", {1})})}}}}})}});
  container.applyChanges();
  Write(u"_mod.sm", {{"header", {{"lastEntryIndex", -1}}},
                     {"entries", json::array({{{"name", ""}, {"changeList", {{"items", json::array({Item("Solid", {1})})}}}}})}});
  container.applyChanges();
  EXPECT_EQ(container.file, nullptr);
  EXPECT_THAT(link.Texts(), IsEmpty());
  EXPECT_EQ(container.solids.size(), 1u);
  EXPECT_EQ(container.lights.size(), 1u);
}

TEST_F(ApplyChangesTest, MissingUpdateGetsAFreshHeaderAndNothingIsSent) {
  container.lastEntryIndex = 0;
  container.applyChanges();
  EXPECT_TRUE(test::FileExists(File(u"_mod.sm")));
  EXPECT_THAT(link.Texts(), IsEmpty());
}

// --- project switch ---

TEST_F(ApplyChangesTest, AnotherProjectRemovesEverythingAndSwitchesTheModelFile) {
  container.currentSectionName = u"C:\\p\\Old.pln";
  session.modelFilePath = u"C:\\p\\Old.pln";
  Sent({12, 3});
  container.materials[u"b"] = Material(u"b");
  container.materials[u"B"] = Material(u"B");
  container.lights[2] = Light(2, false);
  container.lights[1] = Light(1, true);
  container.scenes = {Scene(u"Front"), Scene(u"Top")};
  container.changedSolids = {3};
  WriteChanges("C:\\p\\New.pln", {{"items", json::array({Item("Solid", {12})})}});
  const std::string oldArchive = Archive();
  container.applyChanges();
  EXPECT_THAT(link.Texts(),
              ElementsAre("MaxDeleteNode [\"Solid_3\"]", "MaxDeleteNode [\"Solid_12\"]",
                          "Q9ResetMaterial [\"B\"]", "Q9ResetMaterial [\"b\"]",
                          "Q9DeleteLight [\"Light1\"]", "Q9SendLights []", "Q9ClearLights []",
                          "Q9DeleteScene [\"Front\"]", "Q9SendCamera []",
                          "Q9DeleteScene [\"Top\"]", "Q9SendCamera []",
                          "SendScenes [" + oldArchive + "]", "Q9ClearScenes []",
                          "Connect []", "HasConnected []", "SendModel []",
                          "Q9SaveRawToQ9a [" + oldArchive + "]", "DisConnect []",
                          "Q9SaveRawToQ9a [" + test::JournalText(u"C:\\p\\New.q9a") + "]"));
  EXPECT_EQ(session.modelFilePath, u"C:\\p\\New.pln");
  EXPECT_THAT(container.solids, IsEmpty());
  EXPECT_THAT(container.materials, IsEmpty());
  EXPECT_THAT(container.lights, IsEmpty());
  EXPECT_EQ(container.scenes.size(), 2u) << "the views sync keeps its list";
  EXPECT_THAT(container.changedSolids, ElementsAre(3u)) << "a switch reads no items";
  EXPECT_EQ(container.currentSectionName, u"C:\\p\\Old.pln") << "changed by the next section only";
}

}  // namespace
}  // namespace q9
