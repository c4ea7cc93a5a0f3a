#include "translate/material_translation.h"

#include <gmock/gmock.h>

#include <cmath>

#include "base/process_state.h"
#include "translation_fixture.h"

namespace q9 {
namespace {

using ::testing::ElementsAre;
using ::testing::Not;
using ::testing::Contains;

MaterialRecord Material(const char16_t* key) {
  MaterialRecord material;
  material.MaterialID_Name = key;
  material.InterfaceName = u"Oak wood";
  material.Transparent = 0;
  material.IOR = 1.5f;
  material.Diffuse = {0.8f, 0.6f, 0.4f};
  return material;
}

ExtendMaterialRecord Entry(int32_t type, int32_t flag, const char16_t* file, float value = 0) {
  ExtendMaterialRecord entry;
  entry.Type = type;
  entry.nFlag = flag;
  entry.strFile = file;
  entry.Value = value;
  return entry;
}

TEST(ColorTexts, AreHashAndUpperCaseHexadecimal) {
  EXPECT_EQ(ColorText(0xCC, 0x99, 0x66), u"#CC9966");
  EXPECT_EQ(ColorText(0, 0x0A, 0xFF), u"#000AFF");
}

TEST(ColorTexts, ComponentsAreTruncatedTimes255AndKeepTheirLowByte) {
  EXPECT_EQ(ColorComponent(1.0f), 255);
  EXPECT_EQ(ColorComponent(0.5f), 127);  // 127.5 truncated
  EXPECT_EQ(ColorComponent(0.8f), 204);
  EXPECT_EQ(ColorComponent(1.2f), 0x32);  // 306, not clamped
  EXPECT_EQ(ColorComponent(-0.004f), 0xFF);  // -1.02 truncates to -1
  EXPECT_EQ(ColorComponent(-0.001f), 0);     // -0.255 truncates to 0
  EXPECT_EQ(ColorComponent(std::nanf("")), 0);
  EXPECT_EQ(ColorComponent(1e30f), 0);
}

class MaterialTranslationTest : public TranslationTest {
 protected:
  std::string Map(const char* property, const char* file) const {
    return std::string(R"(Q9SetMaterialStringProperty ["Oak",")") + property + "\"," +
           Quoted(Folder() + "\\Textures\\" + file) + "]";
  }
};

TEST_F(MaterialTranslationTest, MaterialWithoutEntriesSendsItsValuesAndDiffuseColour) {
  SendMaterial(session, process, Material(u"Oak"));
  EXPECT_THAT(link.Texts(),
              ElementsAre(R"j(Q9AddMaterial ["Oak"])j", R"j(Q9SetMaterialType ["Oak",1])j",
                          R"j(Q9SetMaterialStringProperty ["Oak","name","Oak wood"])j",
                          R"j(Q9SetMaterialFloatProperty ["Oak","Opacity",1])j",
                          R"j(Q9SetMaterialFloatProperty ["Oak","Refraction",1.5])j",
                          R"j(Q9SetMaterialStringProperty ["Oak","Diffuse (Color)","#CC9966"])j"));
}

TEST_F(MaterialTranslationTest, TypeIsOneBelowNineTenthsComparedInDoublePrecision) {
  struct Case {
    float transparent;
    int type;
    const char* opacity;
  };
  const Case cases[] = {{0, 1, "1"},
                        {0.95f, 0, "0.050000012"},  // 0.05000001 shown to seven digits
                        {0.9f, 1, "0.100000024"},  // 0.9f is 0.89999998
                        {1.0f, 0, "0"},
                        {std::nanf(""), 0, "\"nan\""}};
  for (const Case& c : cases) {
    link.ClearJournal();
    MaterialRecord material = Material(u"Oak");
    material.Transparent = c.transparent;
    SendMaterial(session, process, material);
    const auto texts = link.Texts();
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ(texts[1], "Q9SetMaterialType [\"Oak\"," + std::to_string(c.type) + "]")
        << c.transparent;
    EXPECT_EQ(texts[3], std::string(R"(Q9SetMaterialFloatProperty ["Oak","Opacity",)") +
                            c.opacity + "]");
  }
  // A material text without a "Transparent" line keeps 1.0: type 0, opacity 0.
  MaterialRecord initial;
  EXPECT_EQ(initial.Transparent, 1.0f);
}

TEST_F(MaterialTranslationTest, DiffuseColourOfHalfIsTruncated) {
  MaterialRecord material = Material(u"Oak");
  material.Diffuse = {1, 0.5f, 0};
  SendMaterial(session, process, material);
  EXPECT_EQ(link.Texts().back(), R"j(Q9SetMaterialStringProperty ["Oak","Diffuse (Color)","#FF7F00"])j");
}

TEST_F(MaterialTranslationTest, LightEmittingMaterialSendsEmissionBeforeTheDiffuseColour) {
  MaterialRecord material = Material(u"Oak");
  material.TypeNat = 17;
  material.emissiveColor = 255;
  material.EmissiveIntensity = 50;
  SendMaterial(session, process, material);
  EXPECT_THAT(link.Texts(),
              ElementsAre(R"j(Q9AddMaterial ["Oak"])j", R"j(Q9SetMaterialType ["Oak",1])j",
                          R"j(Q9SetMaterialStringProperty ["Oak","name","Oak wood"])j",
                          R"j(Q9SetMaterialFloatProperty ["Oak","Opacity",1])j",
                          R"j(Q9SetMaterialFloatProperty ["Oak","Refraction",1.5])j",
                          R"j(Q9SetMaterialStringProperty ["Oak","Emissive Color","#FF0000"])j",
                          R"j(Q9SetMaterialIntProperty ["Oak","EmissiveSwitcher",1])j",
                          R"j(Q9SetMaterialFloatProperty ["Oak","Light",0.5])j",
                          R"j(Q9SetMaterialStringProperty ["Oak","Diffuse (Color)","#CC9966"])j"));
  link.ClearJournal();
  material.emissiveColor = 16711680;
  material.EmissiveIntensity = 33;
  SendMaterial(session, process, material);
  const auto texts = link.Texts();
  EXPECT_EQ(texts[5], R"j(Q9SetMaterialStringProperty ["Oak","Emissive Color","#0000FF"])j");
  EXPECT_EQ(test::JournalFloat(link.Calls()[7].args[2]), 33.0f / 100.0f);
}

TEST_F(MaterialTranslationTest, DiffuseMapFeedsDiffuseOpacityAndEmissionMask) {
  MaterialRecord material = Material(u"Oak");
  material.TypeNat = 17;
  material.extendMaterials = {Entry(1, 2, u"oak.jpg")};
  SendMaterial(session, process, material);
  EXPECT_THAT(link.Texts(),
              ElementsAre(R"j(Q9AddMaterial ["Oak"])j", R"j(Q9SetMaterialType ["Oak",1])j",
                          R"j(Q9SetMaterialStringProperty ["Oak","name","Oak wood"])j",
                          R"j(Q9SetMaterialFloatProperty ["Oak","Opacity",1])j",
                          R"j(Q9SetMaterialFloatProperty ["Oak","Refraction",1.5])j",
                          Map("EmissiveMask", "oak.jpg"),
                          R"j(Q9SetMaterialIntProperty ["Oak","EmissiveSwitcher",1])j",
                          R"j(Q9SetMaterialFloatProperty ["Oak","Light",0])j",
                          Map("Diffuse Map", "oak.jpg"), Map("OpacityMap", "oak.jpg")));
}

TEST_F(MaterialTranslationTest, EveryMapKindInItsPlace) {
  MaterialRecord material = Material(u"Oak");
  material.extendMaterials = {Entry(3, 2, u"ao.png", 0.8f), Entry(6, 2, u"metal.png", 0.2f),
                              Entry(5, 2, u"rough.png", 0.35f), Entry(2, 2, u"normal.png"),
                              Entry(1, 2, u"oak.jpg")};
  SendMaterial(session, process, material);
  const auto texts = link.Texts();
  ASSERT_EQ(texts.size(), 12u);
  EXPECT_THAT(std::vector<std::string>(texts.begin() + 5, texts.end()),
              ElementsAre(Map("Diffuse Map", "oak.jpg"), Map("Normal Map One", "normal.png"),
                          Map("Roughness Map", "rough.png"), Map("MetallicMap", "metal.png"),
                          Map("AOMap", "ao.png"),
                          R"j(Q9SetMaterialFloatProperty ["Oak","AOIntensity",0.8])j",
                          Map("OpacityMap", "oak.jpg")));
}

TEST_F(MaterialTranslationTest, ValuesStandInForMapsWithoutTheirFlag) {
  MaterialRecord material = Material(u"Oak");
  material.extendMaterials = {Entry(5, 0, u"rough.png", 0.35f), Entry(6, 1, u"metal.png", 0.7f),
                              Entry(3, 0, u"", 0.25f), Entry(6, 2, u"second.png", 0.9f)};
  SendMaterial(session, process, material);
  const auto texts = link.Texts();
  EXPECT_THAT(std::vector<std::string>(texts.begin() + 5, texts.end()),
              ElementsAre(R"j(Q9SetMaterialStringProperty ["Oak","Diffuse (Color)","#CC9966"])j",
                          R"j(Q9SetMaterialFloatProperty ["Oak","Roughness Map (opacity)",0.35])j",
                          R"j(Q9SetMaterialFloatProperty ["Oak","Metallic",0.7])j",
                          R"j(Q9SetMaterialFloatProperty ["Oak","AOIntensity",0.25])j"));
}

TEST_F(MaterialTranslationTest, ColourModeSendsNoMapAtAll) {
  process.colorMode = true;
  MaterialRecord material = Material(u"Oak");
  material.TypeNat = 17;
  material.emissiveColor = 0x00FF00;
  material.extendMaterials = {Entry(1, 2, u"oak.jpg"), Entry(5, 2, u"rough.png", 0.35f),
                              Entry(6, 2, u"metal.png", 0.2f), Entry(3, 2, u"ao.png", 0.8f)};
  SendMaterial(session, process, material);
  const auto texts = link.Texts();
  EXPECT_THAT(std::vector<std::string>(texts.begin() + 5, texts.end()),
              ElementsAre(R"j(Q9SetMaterialStringProperty ["Oak","Emissive Color","#00FF00"])j",
                          R"j(Q9SetMaterialIntProperty ["Oak","EmissiveSwitcher",1])j",
                          R"j(Q9SetMaterialFloatProperty ["Oak","Light",0])j",
                          R"j(Q9SetMaterialStringProperty ["Oak","Diffuse (Color)","#CC9966"])j",
                          R"j(Q9SetMaterialFloatProperty ["Oak","Roughness Map (opacity)",0.35])j",
                          R"j(Q9SetMaterialFloatProperty ["Oak","Metallic",0.2])j",
                          R"j(Q9SetMaterialFloatProperty ["Oak","AOIntensity",0.8])j"));
}

TEST_F(MaterialTranslationTest, SetMapPropertyTellsWhetherAPathWasSent) {
  MaterialRecord material = Material(u"Oak");
  material.extendMaterials = {Entry(2, 2, u"normal.png")};
  EXPECT_TRUE(SetMapProperty(session, process, material, 2, u"Normal Map One"));
  EXPECT_FALSE(SetMapProperty(session, process, material, 4, u"Anything"));
  EXPECT_THAT(link.Texts(), ElementsAre(Map("Normal Map One", "normal.png")));
}

}  // namespace
}  // namespace q9
