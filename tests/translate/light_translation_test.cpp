#include "translate/light_translation.h"

#include <gmock/gmock.h>

#include <cmath>
#include <numbers>

#include "translation_fixture.h"

namespace q9 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

LightSourceRecord Light(LightType type, int32_t id) {
  LightSourceRecord light;
  light.type = type;
  light.LightSolidID = id;
  light.LightName = u"Lamp";
  light.Intensity = 1200;
  light.Color = {1, 0.5f, 0};
  return light;
}

// Row r of the transform's rotation block.
std::array<float, 3> Row(const std::array<float, 16>& m, int r) {
  return {m[r * 4], m[r * 4 + 1], m[r * 4 + 2]};
}

void ExpectRow(const std::array<float, 16>& m, int r, std::array<float, 3> expected) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(Row(m, r)[i], expected[i], 1e-6f) << "row " << r;
}

TEST(LightNames, AreLightAndTheSignedDecimalId) {
  LightSourceRecord light;
  light.LightSolidID = 57;
  EXPECT_EQ(lightNodeName(light), u"Light57");
  light.LightSolidID = -3;
  EXPECT_EQ(lightNodeName(light), u"Light-3");
  light.LightSolidID = INT32_MIN;
  EXPECT_EQ(lightNodeName(light), u"Light-2147483648");
}

TEST(LightTransforms, RotateYawPitchAndRollForRowVectors) {
  const Float3 at{10, 20, 30};
  const auto identity = LightTransform({0, 0, 0}, at);
  EXPECT_EQ(identity, (std::array<float, 16>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1}));

  const float quarter = std::numbers::pi_v<float> / 2;
  const auto yaw = LightTransform({quarter, 0, 0}, at);  // yaw -pi/2
  ExpectRow(yaw, 0, {0, 0, 1});
  ExpectRow(yaw, 1, {0, 1, 0});
  ExpectRow(yaw, 2, {-1, 0, 0});

  const auto pitch = LightTransform({0, quarter, 0}, at);
  EXPECT_EQ(pitch[9], -1.0f);
  ExpectRow(pitch, 2, {0, -1, 0});
  ExpectRow(pitch, 1, {0, 0, 1});

  const auto roll = LightTransform({0, 0, quarter}, at);
  ExpectRow(roll, 0, {0, 1, 0});
  ExpectRow(roll, 1, {-1, 0, 0});
  ExpectRow(roll, 2, {0, 0, 1});

  for (const auto& m : {yaw, pitch, roll}) {
    EXPECT_EQ(m[3], 0.0f);
    EXPECT_EQ(m[7], 0.0f);
    EXPECT_EQ(m[11], 0.0f);
    EXPECT_EQ(m[15], 1.0f);
    EXPECT_EQ(m[12], 10.0f);
    EXPECT_EQ(m[14], 30.0f);
  }
}

TEST(LightTransforms, CombineAsRollThenPitchThenYaw) {
  const Float3 angles{0.3f, -0.7f, 1.1f};
  const auto m = LightTransform(angles, {0, 0, 0});
  // Rz(c) . Rx(b) . Ry(a) in row-vector form, a = -x, b = y, c = z, multiplied out in double.
  const double a = -angles.x, b = angles.y, c = angles.z;
  const double rz[3][3] = {{std::cos(c), std::sin(c), 0}, {-std::sin(c), std::cos(c), 0}, {0, 0, 1}};
  const double rx[3][3] = {{1, 0, 0}, {0, std::cos(b), std::sin(b)}, {0, -std::sin(b), std::cos(b)}};
  const double ry[3][3] = {{std::cos(a), 0, -std::sin(a)}, {0, 1, 0}, {std::sin(a), 0, std::cos(a)}};
  double zx[3][3] = {}, product[3][3] = {};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) zx[i][j] += rz[i][k] * rx[k][j];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) product[i][j] += zx[i][k] * ry[k][j];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(m[i * 4 + j], product[i][j], 1e-6) << i << j;
}

class LightTranslationTest : public TranslationTest {};

TEST_F(LightTranslationTest, PointLightGetsItsPropertiesColourAndPosition) {
  LightSourceRecord light = Light(LightType::point, 57);
  light.From = {10, 20, 30};
  light.To = {1, 2, 3};  // a point light has no direction
  SendLight(session, process, light);
  EXPECT_THAT(link.Texts(),
              ElementsAre(R"(Q9AddLight ["Light57"])",
                          R"(Q9SetEntityStringProperty [1,"Light57","id","Light57"])",
                          R"(Q9SetEntityStringProperty [1,"Light57","group_id","0"])",
                          R"(Q9SetEntityStringProperty [1,"Light57","path","Lights/Light57"])",
                          R"(Q9SetEntityIntProperty [1,"Light57","type",0])",
                          R"(Q9SetEntityStringProperty [1,"Light57","light_name","Lamp"])",
                          R"(Q9SetEntityIntProperty [1,"Light57","brightness_units",1])",
                          R"(Q9SetEntityFloatProperty [1,"Light57","brightness",1200])",
                          R"(Q9SetEntityFloatArrayProperty [1,"Light57","light_color",[255,127.5,0],3])",
                          R"(Q9SetEntityFloatArrayProperty [1,"Light57","transform",[1,0,0,0,0,1,0,0,0,0,1,0,10,20,30,1],16])",
                          "Q9SendLights []"));
}

TEST_F(LightTranslationTest, SpotLightGetsItsRotationAndConeAngle) {
  LightSourceRecord light = Light(LightType::spot, -3);
  light.To = {0, 0, 0};
  light.Coneangle = 0.6f;
  light.LightTemperature = 6500;
  SendLight(session, process, light);
  EXPECT_THAT(link.Texts(),
              ElementsAre(R"(Q9AddLight ["Light-3"])",
                          R"(Q9SetEntityStringProperty [1,"Light-3","id","Light-3"])",
                          R"(Q9SetEntityStringProperty [1,"Light-3","group_id","0"])",
                          R"(Q9SetEntityStringProperty [1,"Light-3","path","Lights/Light-3"])",
                          R"(Q9SetEntityIntProperty [1,"Light-3","type",1])",
                          R"(Q9SetEntityStringProperty [1,"Light-3","light_name","Lamp"])",
                          R"(Q9SetEntityIntProperty [1,"Light-3","brightness_units",1])",
                          R"(Q9SetEntityFloatProperty [1,"Light-3","brightness",1200])",
                          R"(Q9SetEntityFloatProperty [1,"Light-3","light_temperature",6500])",
                          R"(Q9SetEntityFloatArrayProperty [1,"Light-3","transform",[1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1],16])",
                          R"(Q9SetEntityFloatProperty [1,"Light-3","light_cone_angle",0.6])",
                          "Q9SendLights []"));
}

TEST_F(LightTranslationTest, IesLightGetsItsProfileFromTheExchangeFolderAndNoConeAngle) {
  LightSourceRecord light = Light(LightType::IES, 8);
  light.strIESF_FilePath = u"lamp.ies";
  light.To = {std::numbers::pi_v<float> / 2, 0, 0};
  SendLight(session, process, light);
  const auto calls = link.Calls();
  const auto names = test::CallNames(calls);
  ASSERT_EQ(names.size(), 12u);
  EXPECT_EQ(calls[4].Text(), R"(Q9SetEntityIntProperty [1,"Light8","type",1])");
  const auto transform = test::JournalFloats(calls[9].args[3]);
  ASSERT_EQ(transform.size(), 16u);
  EXPECT_NEAR(transform[2], 1.0f, 1e-6f);
  EXPECT_NEAR(transform[8], -1.0f, 1e-6f);
  EXPECT_EQ(calls[10].Text(), R"(Q9SetEntityStringProperty [1,"Light8","light_template",)" +
                                  Quoted(Folder() + "\\IES\\lamp.ies") + "]");
  EXPECT_EQ(names[11], "Q9SendLights");
}

TEST_F(LightTranslationTest, IesLightWithoutProfileGetsTheFolderItself) {
  SendLight(session, process, Light(LightType::IES, 8));
  EXPECT_EQ(link.Calls()[10].args[3], Folder() + "\\IES\\");
}

TEST_F(LightTranslationTest, ColourIsScaledWithoutClampingAndTemperatureWinsWhenPositive) {
  LightSourceRecord light = Light(LightType::point, 1);
  light.Color = {1.2f, -0.5f, 0.1f};
  for (float temperature : {0.0f, -10.0f, std::nanf("")}) {
    link.ClearJournal();
    light.LightTemperature = temperature;
    SendLight(session, process, light);
    const auto colours = test::CallsNamed(link.Calls(), "Q9SetEntityFloatArrayProperty");
    ASSERT_EQ(colours.size(), 2u);
    EXPECT_EQ(test::JournalFloats(colours[0].args[3]),
              (std::vector<float>{1.2f * 255.0f, -0.5f * 255.0f, 0.1f * 255.0f}));
    EXPECT_THAT(test::CallsNamed(link.Calls(), "Q9SetEntityFloatProperty"),
                testing::SizeIs(1));  // brightness only
  }
}

TEST_F(LightTranslationTest, LightNameEndsAtItsFirstNul) {
  LightSourceRecord light = Light(LightType::point, 1);
  light.LightName = std::u16string(u"Desk\0lamp", 9);
  SendLight(session, process, light);
  EXPECT_EQ(link.Calls()[5].args[3], "Desk");
}

TEST_F(LightTranslationTest, SwitchedOffAndOtherKindsMakeNoCall) {
  LightSourceRecord off = Light(LightType::spot, 1);
  off.LightEnable = false;
  SendLight(session, process, off);
  for (LightType type : {LightType::Area, LightType::Line, LightType::Led, LightType::Emissive,
                         LightType::Camera, LightType::Uninitialized,
                         LightType::eInvalidLightParentSolidID}) {
    SendLight(session, process, Light(type, 2));
  }
  EXPECT_THAT(link.Calls(), IsEmpty());
}

}  // namespace
}  // namespace q9
