// The record kinds: golden texts as the host writes them, and the rules of each key table.
#include <gmock/gmock.h>

#include "base/process_state.h"
#include "records/camera_record.h"
#include "records/light_source_record.h"
#include "records/material_record.h"
#include "records/record_reader.h"
#include "float3_compare.h"
#include "test_files.h"

namespace q9 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kViewsFile[] = R"(Cameras_Start
Cameras_Version [1]
Cameras_nActCamera [0]
Cameras_Camera_ObjectSTART
Camera_Start
Camera_Version [1]
Camera_nType [0]
Camera__fov [60]
Camera_Name [Front]
Camera__from [0 -1000 170]
Camera__to [0 0 170]
Camera__up [0 0 1]
Camera_End
Cameras_Camera_ObjectEND
Cameras_End
)";

constexpr char16_t kMaterialText[] = uR"(TypeNat 1
Ver 3
InterfaceName [Oak floor]
MaterialID_Name [M_12]
Diffuse 0.8 0.6 0.4
Transparent 0
Roughness 0.5
emissiveColor [0]
MatExt_ObjectSTART
ExtendMaterial_Start
ExtendMaterial_Type [1]
ExtendMaterial_nFlag [2]
ExtendMaterial_strFile [oak.jpg]
ExtendMaterial_End
MatExt_ObjectEND
)";

constexpr char16_t kLightText[] = uR"(Ver 1
LightFlags [0]
LightSource [spot]
LightSourceIDName [L-3]
From [1200 -350 260]
To [0.5 0.25 0]
Color [1 0.9 0.75]
Coneangle [40]
Conedeltaangle [5]
Intensity [800]
fLedIntensitiUnit [0]
LightTimeStamp: [17]
LightName [Desk lamp]
strIESF_FilePath []
LightTemperature [0]
LightEnable: [1]
LightSourceID [3]
LightSolidID [57]
)";

// ---- Golden texts ----

TEST(GoldenRecords, ViewsFileGivesOneSavedView) {
  test::TempFolder folder;
  std::string crlf;
  for (char c : std::string(kViewsFile)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  test::WriteFileBytes(folder.File(u"Views.cam"), crlf);
  std::u16string text;
  ASSERT_TRUE(ReadRecordFile(folder.File(u"Views.cam"), text));
  CameraListRecord list;
  ParseCameraList(text, list);
  EXPECT_EQ(list.nActCamera, 0);
  ASSERT_EQ(list.cameras.size(), 1u);
  const CameraRecord& front = list.cameras[0];
  EXPECT_EQ(front.nType, 0);
  EXPECT_EQ(front._fov, 60.0f);
  EXPECT_EQ(front.Name, u"Front");
  EXPECT_EQ(front._from, (Float3{0, -1000, 170}));
  EXPECT_EQ(front._to, (Float3{0, 0, 170}));
  EXPECT_EQ(front._up, (Float3{0, 0, 1}));
}

TEST(GoldenRecords, MaterialWithOneTextureMap) {
  MaterialRecord m;
  ParseMaterial(kMaterialText, m);
  EXPECT_EQ(m.TypeNat, 1);
  EXPECT_EQ(m.InterfaceName, u"Oak floor");
  EXPECT_EQ(m.MaterialID_Name, u"M_12");
  EXPECT_EQ(m.Diffuse, (Float3{0.8f, 0.6f, 0.4f}));
  EXPECT_EQ(m.Transparent, 0.0f);
  EXPECT_EQ(m.Roughness, 0.5f);
  EXPECT_EQ(m.emissiveColor, 0);
  // Everything else keeps its initial value.
  EXPECT_EQ(m.Diffuse_Logical, -1);
  EXPECT_EQ(m.MixedColor, -1);
  EXPECT_EQ(m.nTimeID, -1);
  EXPECT_EQ(m.emissiveStrength, 1.0f);
  ASSERT_EQ(m.extendMaterials.size(), 1u);
  const ExtendMaterialRecord& map = m.extendMaterials[0];
  EXPECT_EQ(map.Type, 1);
  EXPECT_EQ(map.nFlag, 2);
  EXPECT_EQ(map.strFile, u"oak.jpg");
  EXPECT_EQ(map.Color, (Float3{-1, -1, -1}));
  EXPECT_EQ(map.nAlcolor, -1);
  EXPECT_EQ(map.Value, 0.0f);
  EXPECT_EQ(FindMapFile(m, 1, false), u"oak.jpg");
}

TEST(GoldenRecords, LightWithEveryKey) {
  LightSourceRecord l;
  ParseLightSource(kLightText, l);
  EXPECT_EQ(l.type, LightType::spot);
  EXPECT_TRUE(l.LightEnable);
  EXPECT_EQ(l.LightFlags, 0);
  EXPECT_EQ(l.LightSourceIDName, u"L-3");
  EXPECT_EQ(l.From, (Float3{1200, -350, 260}));
  EXPECT_EQ(l.To, (Float3{0.5f, 0.25f, 0}));
  EXPECT_EQ(l.Color, (Float3{1, 0.9f, 0.75f}));
  EXPECT_EQ(l.Coneangle, 40.0f);
  EXPECT_EQ(l.Conedeltaangle, 5.0f);
  EXPECT_EQ(l.Intensity, 800.0f);
  EXPECT_EQ(l.LightTimeStamp, 17);
  EXPECT_EQ(l.LightName, u"Desk lamp");
  EXPECT_EQ(l.strIESF_FilePath, u"");
  EXPECT_EQ(l.LightSourceID, 3);
  EXPECT_EQ(l.LightSolidID, 57);
}

// Every cut of the views file: the saved view counts only once its entry's end line is read
// whole, and then with every value it had. (The fuzz target feeds damaged texts to each kind.)
TEST(GoldenRecords, EveryCutOfTheViewsFileKeepsOnlyACompleteEntry) {
  const std::u16string views(std::begin(kViewsFile), std::end(kViewsFile) - 1);
  const std::u16string entryEnd = u"Cameras_Camera_ObjectEND";
  const size_t complete = views.find(entryEnd) + entryEnd.size();
  for (size_t cut = 0; cut <= views.size(); ++cut) {
    CameraListRecord list;
    ParseCameraList(views.substr(0, cut), list);
    if (cut < complete) {
      EXPECT_THAT(list.cameras, IsEmpty()) << cut;
    } else {
      ASSERT_EQ(list.cameras.size(), 1u) << cut;
      EXPECT_EQ(list.cameras[0].Name, u"Front");
      EXPECT_EQ(list.cameras[0]._up, (Float3{0, 0, 1}));
    }
  }
}

// ---- Block records ----

CameraRecord Camera(const std::u16string& text) {
  CameraRecord camera;
  ParseCamera(text, camera);
  return camera;
}

TEST(BlockRecords, OnlyLinesInsideABlockCount) {
  EXPECT_EQ(Camera(u"Camera__fov [1]\nCamera_Start\nCamera_End\nCamera__fov [2]\n")._fov, 0);
  EXPECT_EQ(Camera(u"Camera_Start \nCamera__fov [1]\n")._fov, 0);
  EXPECT_EQ(Camera(u"Camera_Start\r\nCamera__fov [1]\n")._fov, 0);
  EXPECT_EQ(Camera(u"Camera_Start\n Camera__fov [1]\nCamera_nType 7\n")._fov, 0);
  EXPECT_EQ(Camera(u"Camera_Start\n Camera__fov [1]\nCamera_nType 7\n").nType, 0);
  const CameraRecord twice = Camera(
      u"Camera_Start\nCamera_Name [Plan [2]]\nCamera__fov [1]\nCamera_End\n"
      u"Camera_Start\nCamera__fov [2]\nCamera__from [1 2]\nCamera__up [abc]\n");
  EXPECT_EQ(twice.Name, u"Plan [2]");
  EXPECT_EQ(twice._fov, 2.0f);
  EXPECT_EQ(twice._from, (Float3{1, 2, 0}));
  EXPECT_EQ(twice._up, (Float3{0, 0, 0}));
}

CameraListRecord Views(const std::u16string& text) {
  CameraListRecord list;
  ParseCameraList(text, list);
  return list;
}

std::vector<std::u16string> Names(const CameraListRecord& list) {
  std::vector<std::u16string> names;
  for (const CameraRecord& camera : list.cameras) names.push_back(camera.Name);
  return names;
}

TEST(ObjectLists, OneCameraPerCompleteEntryInsideTheBlock) {
  const std::u16string entry = u"Cameras_Camera_ObjectSTART\nCamera_Start\nCamera_Name [";
  const std::u16string end = u"]\nCamera_End\nCameras_Camera_ObjectEND\n";
  const CameraListRecord list = Views(entry + u"before" + end + u"Cameras_Start\n" +
                                      u"Camera_Start\nCamera_Name [stray]\nCamera_End\n" + entry +
                                      u"a" + end + u"Cameras_Camera_ObjectSTART\n"
                                      u"Cameras_Camera_ObjectEND\n" +
                                      entry + u"b" + end + u"Cameras_nActCamera [7]\n" + entry +
                                      u"open]\nCamera_End\n");
  EXPECT_THAT(Names(list), ElementsAre(u"a", u"", u"b"));
  EXPECT_EQ(list.cameras[1].nType, 0);
  EXPECT_EQ(list.cameras[1]._fov, 0);
  EXPECT_EQ(list.nActCamera, 7);
  EXPECT_EQ(Views(u"Cameras_Start\n" + entry + u"after" + end + u"Cameras_End\n" + entry + u"x" +
                  end)
                .cameras.size(),
            1u);
}

TEST(ObjectLists, NestedEntryLinesReachTheElementParser) {
  const CameraListRecord list = Views(
      u"Cameras_Start\nCameras_Camera_ObjectSTART\nCamera_Start\nCamera_Name [outer]\n"
      u"Cameras_Camera_ObjectSTART\nCamera__fov [5]\nCameras_Camera_ObjectEND\n"
      u"Camera_nType [3]\nCamera_End\nCamera_Start\nCamera_nType [4]\nCamera_End\n"
      u"Cameras_Camera_ObjectEND\nCameras_nActCamera [2]\n");
  ASSERT_EQ(list.cameras.size(), 1u);
  EXPECT_EQ(list.cameras[0].Name, u"outer");
  EXPECT_EQ(list.cameras[0]._fov, 5.0f);
  EXPECT_EQ(list.cameras[0].nType, 4);
  EXPECT_EQ(list.nActCamera, 2);
}

// ---- Materials and their texture maps ----

MaterialRecord Material(const std::u16string& text) {
  MaterialRecord material;
  ParseMaterial(text, material);
  return material;
}

TEST(Materials, BareAndBracketedKeysTakeOnlyTheirOwnLines) {
  const MaterialRecord m = Material(
      u"Diffuse [0.5 0.5 0.5]\nMixedColor 3\nDiffuse_Logical 4\nSpecularFactor 0.2\n"
      u"Fresnel 0.75\nEmissiveIntensity 50\nVer 7\nInterfaceName [Glass [blue]]\n"
      u"Roughness abc\nemissiveStrength [2.5]\nnTimeID [1234]\n_nMatDescIndex [9]\n");
  EXPECT_EQ(m.Diffuse, (Float3{0, 0, 0}));
  EXPECT_EQ(m.MixedColor, -1);
  EXPECT_EQ(m.Diffuse_Logical, 4);
  EXPECT_EQ(m.SpecularFactor, 0.2f);
  EXPECT_EQ(m.Specular, (Float3{0, 0, 0}));
  EXPECT_EQ(m.Fresnel, 0);
  EXPECT_EQ(m.EmissiveIntensity, 50);
  EXPECT_EQ(m.InterfaceName, u"Glass [blue]");
  EXPECT_EQ(m.Roughness, 0.0f);
  EXPECT_EQ(m.emissiveStrength, 2.5f);
  EXPECT_EQ(m.nTimeID, 1234);
  EXPECT_EQ(m._nMatDescIndex, 9);
  EXPECT_EQ(m.Transparent, 1.0f);
  EXPECT_EQ(Material(u"Roughness -0.3\n").Roughness, 0.0f);
  EXPECT_EQ(Material(u"Roughness 0.3\nRoughness 0.7").Roughness, 0.7f);  // the last line wins
}

TEST(Materials, OneMapEntryPerCompleteListEntry) {
  const MaterialRecord m = Material(
      u"ExtendMaterial_Start\nExtendMaterial_Type [9]\nExtendMaterial_End\n"
      u"MatExt_ObjectSTART\nExtendMaterial_Start\nExtendMaterial_Type [5]\n"
      u"ExtendMaterial_Value [0.5]\nExtendMaterial_strFile [maps\\wood [old].jpg]\n"
      u"ExtendMaterial_Color [1 0.5 0]\nExtendMaterial_nAlcolor [0]\nExtendMaterial_End\n"
      u"MatExt_ObjectEND\n"
      u"MatExt_ObjectSTART\nExtendMaterial_Type [2]\nExtendMaterial_Value 0.5\nMatExt_ObjectEND\n"
      u"MatExt_ObjectSTART\nExtendMaterial_Start\nExtendMaterial_Type [6]\n");
  ASSERT_EQ(m.extendMaterials.size(), 2u);
  const ExtendMaterialRecord& first = m.extendMaterials[0];
  EXPECT_EQ(first.Type, 5);
  EXPECT_EQ(first.Value, 0.0f);
  EXPECT_EQ(first.strFile, u"maps\\wood [old].jpg");
  EXPECT_EQ(first.Color, (Float3{1, 0.5f, 0}));
  EXPECT_EQ(first.nAlcolor, 0);
  const ExtendMaterialRecord& second = m.extendMaterials[1];  // no start line: initial values
  EXPECT_EQ(second.Type, 0);
  EXPECT_EQ(second.Value, 0.0f);
  EXPECT_EQ(second.Color, (Float3{-1, -1, -1}));

  ExtendMaterialRecord bare;
  ParseExtendMaterial(u"ExtendMaterial_Start\nExtendMaterial_Value 0.5\n", bare);
  EXPECT_EQ(bare.Value, 0.5f);
}

class MapFiles : public ::testing::Test {
 protected:
  bool colorMode = false;
  static ExtendMaterialRecord Entry(int32_t type, int32_t flag, std::u16string file) {
    ExtendMaterialRecord entry;
    entry.Type = type;
    entry.nFlag = flag;
    entry.strFile = std::move(file);
    return entry;
  }
  MaterialRecord material;
};

TEST_F(MapFiles, FirstEntryOfTheKindWithFlagBitTwo) {
  material.extendMaterials = {Entry(1, 2, u"d.png"), Entry(5, 3, u"r.png")};
  EXPECT_EQ(FindMapFile(material, 5, colorMode), u"r.png");
  EXPECT_EQ(FindMapFile(material, 2, colorMode), u"");
  material.extendMaterials[1].nFlag = 1;
  EXPECT_EQ(FindMapFile(material, 5, colorMode), u"");
  material.extendMaterials = {Entry(1, 0, u"a.png"), Entry(1, 2, u"b.png"), Entry(3, 2, u"")};
  EXPECT_EQ(FindMapFile(material, 1, colorMode), u"");
  EXPECT_EQ(FindMapFile(material, 3, colorMode), u"");
}

TEST_F(MapFiles, ColourModeUsesNoMapFile) {
  material.extendMaterials = {Entry(1, 2, u"d.png"), Entry(2, 2, u"n.png")};
  colorMode = true;
  EXPECT_EQ(FindMapFile(material, 1, colorMode), u"");
  EXPECT_EQ(FindMapFile(material, 2, colorMode), u"");
  colorMode = false;
  EXPECT_EQ(FindMapFile(material, 2, colorMode), u"n.png");
}

// ---- Lights ----

LightSourceRecord Light(const std::u16string& text, LightSourceRecord light = {}) {
  ParseLightSource(text, light);
  return light;
}

TEST(Lights, KindNamesAreComparedExactlyAndAnyOtherGivesAPointLight) {
  EXPECT_EQ(Light(u"LightSource [IES]").type, LightType::IES);
  EXPECT_EQ(Light(u"LightSource [Uninitialized]").type, LightType::Uninitialized);
  EXPECT_EQ(Light(u"LightSource [eInvalidLightParentSolidID]").type,
            LightType::eInvalidLightParentSolidID);
  EXPECT_EQ(Light(u"LightSource [Camera]").type, LightType::Camera);
  EXPECT_EQ(Light(u"LightSource [Spot]").type, LightType::point);
  EXPECT_EQ(Light(u"LightSource [spot] ").type, LightType::point);
  EXPECT_EQ(Light(u"LightSource [spot]\r\n").type, LightType::point);
  EXPECT_EQ(Light(u"LightSource [spot]\nLightSource [Area]").type, LightType::Area);
  LightSourceRecord spot;
  spot.type = LightType::spot;
  EXPECT_EQ(Light(u"", spot).type, LightType::point);  // always replaced
}

TEST(Lights, EnableNeedsItsColonAndIsAlwaysSet) {
  EXPECT_FALSE(Light(u"LightEnable: [0]").LightEnable);
  EXPECT_TRUE(Light(u"LightEnable [0]").LightEnable);
  EXPECT_FALSE(Light(u"LightEnable: [0]\nLightEnable: [x]").LightEnable);
  LightSourceRecord off;
  off.LightEnable = false;
  EXPECT_TRUE(Light(u"Ver 1", off).LightEnable);
}

TEST(Lights, KeysThatShareABeginningKeepToTheirOwnLines) {
  const LightSourceRecord l = Light(
      u"LightSourceID [3]\nLightSourceIDName [id]\nLightSolidID [-4]\nLightTimeStamp [9]\n");
  EXPECT_EQ(l.LightSourceID, 3);
  EXPECT_EQ(l.LightSourceIDName, u"id");
  EXPECT_EQ(l.type, LightType::point);
  EXPECT_EQ(l.LightSolidID, -4);
  EXPECT_EQ(l.LightTimeStamp, 0);
  EXPECT_EQ(l.From, (Float3{0, 0, 0}));
}

}  // namespace
}  // namespace q9
