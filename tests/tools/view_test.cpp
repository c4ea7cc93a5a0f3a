// The received scene and `q9x view`: what a journal leaves, drawn from the camera it sent; and
// `summary` on the same model.
#include "q9x/view.h"

#include <gmock/gmock.h>

#include <bit>
#include <cstring>
#include <limits>
#include <map>

#include <nlohmann/json.hpp>

#include "base/platform.h"
#include "picture/gltf_writer.h"
#include "q9x_call.h"
#include "received/scene_reader.h"
#include "picture/scene_render.h"
#include "q9x/summary.h"
#include "test_files.h"

namespace q9x {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

std::string Line(const char* fn, json args) {
  return json{{"fn", fn}, {"h", 1}, {"args", std::move(args)}}.dump() + "\n";
}

// The twelve triangles of an axis-aligned box, as array 1's raw words.
json BoxWords(float cx, float cy, float cz, float half) {
  const float x[2] = {cx - half, cx + half}, y[2] = {cy - half, cy + half}, z[2] = {cz - half, cz + half};
  auto corner = [&](int i) { return std::array<float, 3>{x[i & 1], y[(i >> 1) & 1], z[(i >> 2) & 1]}; };
  const int faces[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
  json words = json::array();
  for (const auto& f : faces) {
    for (const int corners : {0, 1, 2, 0, 2, 3}) {
      for (float v : corner(f[corners])) words.push_back(std::bit_cast<uint32_t>(v));
    }
  }
  return words;
}

json Camera(std::array<float, 3> from, std::array<float, 3> to, float fov) {
  return json::array({from[0], from[1], from[2], to[0], to[1], to[2], 0, 0, 1, fov});
}

// A journal: a red material, the node "Solid_1" with a box around `centre`, and a camera at the
// origin looking along +y.
std::string BoxJournal(std::array<float, 3> centre) {
  return R"({"fn":"CreateSession","args":[],"ret":1})" "\n" +
         Line("Q9AddMaterial", {"M_Red"}) +
         Line("Q9SetMaterialStringProperty", {"M_Red", "Diffuse (Color)", "#FF0000"}) +
         Line("MaxBeginNode", {"Solid_1", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, true}) +
         Line("MaxAddTriangles", {"M_Red", 12, BoxWords(centre[0], centre[1], centre[2], 1), {0}, {0}, 0}) +
         Line("Q9EndNode", json::array()) +
         Line("SendCameraTransformFov", {Camera({0, 0, 0}, {0, 1, 0}, 60), 60});
}

ReceivedScene SceneOf(const std::string& journal) {
  std::string error;
  std::optional<ReadScene> read = ParseSceneText(journal, error);
  EXPECT_TRUE(read) << error;
  return read ? read->scene : ReceivedScene{};
}

Image Draw(const ReceivedScene& scene, const ReceivedCamera& camera, RenderStats* stats = nullptr) {
  RenderSettings settings;
  settings.width = 160;
  settings.height = 90;
  return RenderScene(scene, camera, settings, stats);
}

bool Empty(const Image& image) {
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      if (image.Pixel(x, y) != kBackground) return false;
    }
  }
  return true;
}

TEST(ViewTest, ABoxInFrontCoversTheCentreInItsColourAndLeavesTheCorners) {
  const ReceivedScene scene = SceneOf(BoxJournal({0, 5, 0}));
  ASSERT_TRUE(scene.camera);
  const Image image = Draw(scene, *scene.camera);
  const auto centre = image.Pixel(80, 45);
  EXPECT_GT(centre[0], 100);
  EXPECT_EQ(centre[1], 0);
  EXPECT_EQ(centre[2], 0);
  for (const auto& [x, y] : {std::pair{0, 0}, {159, 0}, {0, 89}, {159, 89}}) {
    EXPECT_EQ(image.Pixel(x, y), kBackground) << x << "," << y;
  }
}

TEST(ViewTest, ABoxBehindTheCameraOrAroundTheNearPlaneIsClipped) {
  RenderStats stats;
  const ReceivedScene behind = SceneOf(BoxJournal({0, -5, 0}));
  EXPECT_TRUE(Empty(Draw(behind, *behind.camera, &stats)));
  EXPECT_EQ(stats.trianglesDrawn, 0);

  // The camera inside a box sees its walls all round, cut at the near plane, never smeared.
  const ReceivedScene around = SceneOf(BoxJournal({0, 0, 0}));
  const Image inside = Draw(around, *around.camera, &stats);
  EXPECT_GT(stats.trianglesDrawn, 0);
  EXPECT_GT(inside.Pixel(80, 45)[0], 100);
  EXPECT_GT(inside.Pixel(0, 0)[0], 100);
}

TEST(ViewTest, ANodeDeletedAfterItWasSentIsNotDrawn) {
  for (const char* deletion : {"MaxDeleteNode", "Q9DeleteNode"}) {
    const ReceivedScene scene = SceneOf(BoxJournal({0, 5, 0}) + Line(deletion, {"Solid_1"}));
    EXPECT_TRUE(scene.nodes.empty()) << deletion;
    EXPECT_TRUE(Empty(Draw(scene, *scene.camera))) << deletion;
  }
  // A later session starts from nothing.
  const ReceivedScene fresh =
      SceneOf(BoxJournal({0, 5, 0}) + R"({"fn":"CreateSession","args":[],"ret":2})" "\n");
  EXPECT_TRUE(fresh.nodes.empty());
}

TEST(ViewTest, ANamedScenesCameraIsUsedWhenAskedFor) {
  const ReceivedScene scene = SceneOf(BoxJournal({0, 5, 0}) +
                                      Line("AddScene", {"S1", "Away", Camera({0, 0, 0}, {0, -1, 0}, 60), 60}) +
                                      Line("AddScene", {"S2", "Blind", nullptr, 60}));
  std::string label, error;
  const std::optional<ReceivedCamera> away = ChooseCamera(scene, "Away", label, error);
  ASSERT_TRUE(away) << error;
  EXPECT_EQ(label, "scene \"Away\"");
  EXPECT_TRUE(Empty(Draw(scene, *away)));
  EXPECT_TRUE(ChooseCamera(scene, "S1", label, error));
  EXPECT_FALSE(ChooseCamera(scene, "S2", label, error));
  EXPECT_FALSE(ChooseCamera(scene, "Nowhere", label, error));
  EXPECT_THAT(error, HasSubstr("\"S1\" \"S2\""));
  EXPECT_FALSE(ChooseCamera(SceneOf(Line("Q9EndNode", json::array())), std::nullopt, label, error));
}

TEST(ViewTest, MeshArraysAreReadAsFloatsAndBoundedByTheCount) {
  // Nine words for a count of 5: one whole triangle; a count of 0 with words keeps none.
  json words = BoxWords(0, 0, 0, 1);
  words.erase(words.begin() + 9, words.end());
  const ReceivedScene scene = SceneOf(
      Line("MaxBeginNode", {"N", nullptr, true}) + Line("MaxAddTriangles", {"m", 5, words, nullptr, nullptr, 0}) +
      Line("MaxAddTriangles", {"m", 0, BoxWords(0, 0, 0, 1), nullptr, nullptr, 0}) + Line("Q9EndNode", json::array()) +
      Line("MaxAddTriangles", {"outside a node", 1, words, nullptr, nullptr, 0}));
  const ReceivedNode& node = *scene.nodes.Find("N");
  ASSERT_EQ(node.meshes.size(), 2u);
  EXPECT_EQ(node.meshes[0].HeldTriangles(), 1u);
  EXPECT_EQ(node.meshes[0].positions[0], -1.0f);
  EXPECT_EQ(node.meshes[0].triangles, 5);
  EXPECT_EQ(node.meshes[1].HeldTriangles(), 0u);
  EXPECT_FALSE(node.matrix);
}

// The JSON chunk of a .glb file, after its 12-byte header and 8-byte chunk header.
json GlbJson(const std::string& glb) {
  EXPECT_EQ(glb.substr(0, 4), "glTF");
  uint32_t length = 0;
  std::memcpy(&length, glb.data() + 12, 4);
  EXPECT_EQ(glb.size() % 4, 0u);
  return json::parse(glb.substr(20, length));
}

TEST(ExportGlbTest, KeepsMatricesDropsWhatIsNotFiniteAndBoundsLightCones) {
  json words = BoxWords(0, 5, 0, 1);
  words[0] = std::bit_cast<uint32_t>(std::numeric_limits<float>::quiet_NaN());  // first triangle
  const ReceivedScene scene = SceneOf(
      BoxJournal({0, 5, 0}) +
      Line("MaxBeginNode", {"Moved", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 7, 8, 9, 1}, true}) +
      Line("MaxAddTriangles", {"M_Red", 12, words, nullptr, nullptr, 0}) +
      Line("MaxAddTriangles", {"M_Unknown", 0, json::array(), nullptr, nullptr, 0}) + Line("Q9EndNode", json::array()) +
      Line("Q9AddLight", {"L1"}) + Line("Q9SetEntityIntProperty", {1, "L1", "type", 1}) +
      Line("Q9SetEntityFloatProperty", {1, "L1", "light_cone_angle", 400}) +
      Line("Q9SetEntityFloatArrayProperty", {1, "L1", "light_color", {255, 0, 0}, 3}) +
      Line("AddScene", {"S1", "Away", Camera({1, 2, 3}, {1, 3, 3}, 60), 60}));
  const json gltf = GlbJson(ExportGlb(scene));
  ASSERT_EQ(gltf["nodes"][0]["name"], "Received scene");
  std::map<std::string, json> nodes;
  for (const json& node : gltf["nodes"]) nodes[node["name"]] = node;
  EXPECT_FALSE(nodes["Solid_1"].contains("matrix"));  // identity left out
  EXPECT_EQ(nodes["Moved"]["matrix"][12], 7);
  const json& moved = gltf["meshes"][nodes["Moved"]["mesh"].get<size_t>()];
  ASSERT_EQ(moved["primitives"].size(), 1u);  // the empty mesh has no primitive
  const json& position = gltf["accessors"][moved["primitives"][0]["attributes"]["POSITION"].get<size_t>()];
  EXPECT_EQ(position["count"], 33);  // 11 triangles: the one with NaN is left out
  EXPECT_EQ(position["max"], json::array({1.0, 6.0, 1.0}));
  EXPECT_EQ(gltf["materials"][0]["pbrMetallicRoughness"]["baseColorFactor"], json::array({1.0, 0.0, 0.0, 1.0}));
  EXPECT_EQ(nodes["Scene S1"]["matrix"][13], 2);
  EXPECT_EQ(nodes["Current camera"]["matrix"][14], 0);
  const json& light = gltf["extensions"]["KHR_lights_punctual"]["lights"][0];
  EXPECT_EQ(light["type"], "spot");
  EXPECT_LE(light["spot"]["outerConeAngle"].get<double>(), 1.5707963267948966);
  EXPECT_EQ(light["color"], json::array({1.0, 0.0, 0.0}));
  EXPECT_EQ(nodes["L1"]["extensions"]["KHR_lights_punctual"]["light"], 0);
}

TEST(ExportGlbTest, TheCamerasVerticalAngleFollowsTheHorizontalOne) {
  // 90 degrees across a 16:9 picture: 2 atan(9/16) = 58.7 degrees up and down.
  EXPECT_NEAR(2 * PortableAtan(PortableTan(3.14159265358979 / 4) / kExportAspect), 1.0247, 1e-4);
  EXPECT_NEAR(PortableTan(0.5), 0.5463024898437905, 1e-14);
  EXPECT_NEAR(PortableAtan(-3.0), -1.2490457723982544, 1e-14);
}

class ViewCommandTest : public ::testing::Test {
 protected:
  std::string Path(std::u16string_view name) { return q9::platform::DisplayPath(folder.File(name)); }
  q9::test::TempFolder folder;
};

TEST_F(ViewCommandTest, WritesAPngOfTheAskedSize) {
  q9::test::WriteFileBytes(folder.File(u"j.jsonl"), BoxJournal({0, 5, 0}));
  const Result result = Q9x({"view", Path(u"j.jsonl"), "-o", Path(u"v.png"), "--size", "64x48"});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::string png = q9::test::ReadFileBytes(folder.File(u"v.png"));
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  EXPECT_EQ(png.substr(16, 8), std::string("\0\0\0\x40\0\0\0\x30", 8));  // IHDR width, height

  EXPECT_EQ(Q9x({"view", Path(u"j.jsonl"), "-o", Path(u"w.png"), "--scene", "Nowhere"}).status, kFailed);
  EXPECT_EQ(Q9x({"view", Path(u"j.jsonl"), "-o", Path(u"w.png"), "--size", "0x48"}).status, kUsage);
  EXPECT_EQ(Q9x({"view", Path(u"j.jsonl")}).status, kUsage);
  EXPECT_EQ(Q9x({"view", Path(u"missing.jsonl"), "-o", Path(u"w.png")}).status, kFailed);
  EXPECT_FALSE(q9::test::FileExists(folder.File(u"w.png")));
}

TEST_F(ViewCommandTest, SummaryNamesTheLineItCannotReadAndGivesJson) {
  q9::test::WriteFileBytes(folder.File(u"bin.q9a"), "{\"fn\":\"Connect\"}\n" + std::string("\x89PNG\r\n\x1a\x00", 8));
  const Result binary = Q9x({"summary", Path(u"bin.q9a")});
  EXPECT_EQ(binary.status, kFailed);
  EXPECT_THAT(binary.err, HasSubstr("line 2 (byte 17) is not a journal call: \\x89PNG"));
  EXPECT_EQ(binary.out, "Connect []\n");  // the calls before it, as they were read

  q9::test::WriteFileBytes(folder.File(u"j.jsonl"), BoxJournal({0, 5, 0}) + Line("AddScene", {"S1", "Front", nullptr, 1}));
  const Result text = Q9x({"summary", Path(u"j.jsonl")});
  EXPECT_THAT(text.out, HasSubstr("\"Solid_1\": 12 triangles in 1 mesh (\"M_Red\")"));
  EXPECT_THAT(text.out, HasSubstr("camera: from [0,0,0] to [0,1,0] up [0,0,1], fov 60.0\n"));
  const Result asJson = Q9x({"summary", Path(u"j.jsonl"), "--json"});
  ASSERT_EQ(asJson.status, 0) << asJson.err;
  const json summary = json::parse(asJson.out);
  EXPECT_EQ(summary["kind"], "journal");
  EXPECT_EQ(summary["callCounts"]["MaxAddTriangles"], 1);
  EXPECT_EQ(summary["triangles"], 12);
  EXPECT_EQ(summary["nodes"][0]["name"], "Solid_1");
  EXPECT_EQ(summary["scenes"][0]["displayName"], "Front");
  EXPECT_EQ(summary["materials"][0]["properties"]["Diffuse (Color)"], "#FF0000");
  EXPECT_EQ(summary["camera"]["to"], json::array({0, 1, 0}));
}

}  // namespace
}  // namespace q9x
