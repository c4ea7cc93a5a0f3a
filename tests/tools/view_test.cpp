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
#include "picture/framing.h"
#include "picture/gltf_writer.h"
#include "journal.h"
#include "q9x_call.h"
#include "received/scene_reader.h"
#include "picture/scene_render.h"
#include "q9x/command.h"
#include "q9x/summary.h"
#include "test_files.h"

namespace q9x {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

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
         q9::test::JournalLine("Q9AddMaterial", {"M_Red"}) +
         q9::test::JournalLine("Q9SetMaterialStringProperty", {"M_Red", "Diffuse (Color)", "#FF0000"}) +
         q9::test::JournalLine("MaxBeginNode", {"Solid_1", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, true}) +
         q9::test::JournalLine("MaxAddTriangles", {"M_Red", 12, BoxWords(centre[0], centre[1], centre[2], 1), {0}, {0}, 0}) +
         q9::test::JournalLine("Q9EndNode", json::array()) +
         q9::test::JournalLine("SendCameraTransformFov", {Camera({0, 0, 0}, {0, 1, 0}, 60), 60});
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
    const ReceivedScene scene = SceneOf(BoxJournal({0, 5, 0}) + q9::test::JournalLine(deletion, {"Solid_1"}));
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
                                      q9::test::JournalLine("AddScene", {"S1", "Away", Camera({0, 0, 0}, {0, -1, 0}, 60), 60}) +
                                      q9::test::JournalLine("AddScene", {"S2", "Blind", nullptr, 60}));
  const SceneBounds bounds = BoundsOf(scene);
  std::string error;
  const std::optional<ViewCamera> away = ChooseCamera(scene, "Away", false, bounds, 16.0 / 9, error);
  ASSERT_TRUE(away) << error;
  EXPECT_EQ(away->label, "scene \"Away\"");
  EXPECT_TRUE(Empty(Draw(scene, away->camera)));
  EXPECT_TRUE(ChooseCamera(scene, "S1", false, bounds, 1, error));
  EXPECT_FALSE(ChooseCamera(scene, "S2", false, bounds, 1, error));
  EXPECT_FALSE(ChooseCamera(scene, "Nowhere", false, bounds, 1, error));
  EXPECT_THAT(error, HasSubstr("\"S1\" \"S2\""));
  // Without a scene: the camera sent, or with --fit (or none sent) one that frames the scene.
  EXPECT_EQ(ChooseCamera(scene, std::nullopt, false, bounds, 1, error)->label, "current camera");
  EXPECT_EQ(ChooseCamera(scene, std::nullopt, true, bounds, 1, error)->label, "whole scene from above (--fit)");
  const ReceivedScene blind = SceneOf(q9::test::JournalLine("Q9EndNode", json::array()));
  EXPECT_EQ(ChooseCamera(blind, std::nullopt, false, BoundsOf(blind), 1, error)->label,
            "whole scene from above (no camera was sent)");
}

TEST(ViewTest, MeshArraysAreReadAsFloatsAndBoundedByTheCount) {
  // Nine words for a count of 5: one whole triangle; a count of 0 with words keeps none.
  json words = BoxWords(0, 0, 0, 1);
  words.erase(words.begin() + 9, words.end());
  const ReceivedScene scene = SceneOf(
      q9::test::JournalLine("MaxBeginNode", {"N", nullptr, true}) + q9::test::JournalLine("MaxAddTriangles", {"m", 5, words, nullptr, nullptr, 0}) +
      q9::test::JournalLine("MaxAddTriangles", {"m", 0, BoxWords(0, 0, 0, 1), nullptr, nullptr, 0}) + q9::test::JournalLine("Q9EndNode", json::array()) +
      q9::test::JournalLine("MaxAddTriangles", {"outside a node", 1, words, nullptr, nullptr, 0}));
  const ReceivedNode& node = *scene.nodes.Find("N");
  ASSERT_EQ(node.meshes.size(), 2u);
  EXPECT_EQ(node.meshes[0].HeldTriangles(), 1u);
  EXPECT_EQ(node.meshes[0].positions[0], -1.0f);
  EXPECT_EQ(node.meshes[0].triangles, 5);
  EXPECT_EQ(node.meshes[1].HeldTriangles(), 0u);
  EXPECT_FALSE(node.matrix);
}

// Array 1's raw words for the given floats.
json Words(std::initializer_list<float> values) {
  json words = json::array();
  for (float v : values) words.push_back(std::bit_cast<uint32_t>(v));
  return words;
}

// A journal of the node "N" holding `count` triangles (`words`) in red, seen from `camera`.
std::string RedJournal(const json& words, size_t count, const json& camera) {
  return q9::test::JournalLine("Q9AddMaterial", {"M_Red"}) +
         q9::test::JournalLine("Q9SetMaterialStringProperty", {"M_Red", "Diffuse (Color)", "#FF0000"}) +
         q9::test::JournalLine("MaxBeginNode", {"N", nullptr, true}) +
         q9::test::JournalLine("MaxAddTriangles", {"M_Red", count, words, {0}, {0}, 0}) + q9::test::JournalLine("Q9EndNode", json::array()) +
         (camera.is_null() ? "" : q9::test::JournalLine("SendCameraTransformFov", {camera, camera[9]}));
}

int Differing(const Image& a, const Image& b) {
  int differing = 0;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) differing += a.Pixel(x, y) != b.Pixel(x, y);
  }
  return differing;
}

bool Background(const Image& image, int x, int y) { return image.Pixel(x, y) == kBackground; }

TEST(RasterizerTest, TheSameBoxDrawsTheSamePictureFromMillimetresToThousandsOfKilometres) {
  Image reference;
  for (const float scale : {1.0f, 1e-3f, 1e3f, 1e6f}) {
    const ReceivedScene scene =
        SceneOf(RedJournal(BoxWords(0, 5 * scale, 0, scale), 12, Camera({0, 0, 0}, {0, scale, 0}, 60)));
    RenderStats stats;
    const Image image = Draw(scene, *scene.camera, &stats);
    EXPECT_EQ(stats.trianglesDrawn, 12) << scale;
    EXPECT_GT(image.Pixel(80, 45)[0], 100) << scale;
    if (scale == 1.0f) {
      reference = image;
    } else {
      EXPECT_LE(Differing(image, reference), 8) << scale;  // rounding on an edge at most
    }
  }
}

TEST(RasterizerTest, AFloorPassingUnderTheCameraIsDrawnAlikeInMillimetresAndMetres) {
  // A floor triangle around the camera's feet, its corners far behind and ahead; the camera
  // looks level at eye height, so the floor fills the lower half up to the horizon.
  std::vector<Image> images;
  for (const float unit : {1.0f, 1000.0f}) {
    const ReceivedScene scene =
        SceneOf(RedJournal(Words({-100 * unit, -100 * unit, 0, 100 * unit, -100 * unit, 0, 0, 100 * unit, 0}), 1,
                           Camera({0, 0, 1.6f * unit}, {0, 10 * unit, 1.6f * unit}, 60)));
    RenderStats stats;
    images.push_back(Draw(scene, *scene.camera, &stats));
    EXPECT_EQ(stats.trianglesDrawn, 1) << unit;
    EXPECT_FALSE(Background(images.back(), 80, 80)) << unit;
    EXPECT_FALSE(Background(images.back(), 0, 89)) << unit;
    EXPECT_TRUE(Background(images.back(), 80, 30)) << unit;
  }
  EXPECT_LE(Differing(images[0], images[1]), 8);
}

TEST(RasterizerTest, TrianglesAroundOrBehindTheCameraAtAnyScaleDrawWithoutOverflow) {
  // The camera just in front of a triangle a million units across: it covers the whole picture.
  const ReceivedScene wall = SceneOf(RedJournal(Words({-1e6f, 2e-3f, -1e6f, 1e6f, 2e-3f, -1e6f, 0, 2e-3f, 1e6f}), 1,
                                                Camera({0, 0, 0}, {0, 1, 0}, 60)));
  const Image covered = Draw(wall, *wall.camera);
  for (const auto& [x, y] : {std::pair{0, 0}, {159, 0}, {0, 89}, {159, 89}, {80, 45}}) {
    EXPECT_GT(covered.Pixel(x, y)[0], 0) << x << "," << y;
    EXPECT_EQ(covered.Pixel(x, y)[1], 0) << x << "," << y;
  }

  // The eye in the plane of a triangle around it: edge-on, nothing to fill.
  const ReceivedScene edgeOn = SceneOf(RedJournal(Words({-1e6f, -1e6f, 0, 1e6f, -1e6f, 0, 0, 1e6f, 0}), 1,
                                                  Camera({0, 0, 0}, {0, 1, 0}, 60)));
  EXPECT_TRUE(Empty(Draw(edgeOn, *edgeOn.camera)));

  // Corners at the edge of the float range, behind, beside and above the eye, with one in front:
  // only the part in front is filled, and no coordinate leaves its range on the way.
  const float far = 3e38f;
  for (const auto& corner : {std::array<float, 3>{0, -far, 0}, {far, 5, far}, {-far, -far, far}, {0, 5, -far}}) {
    const ReceivedScene reaching = SceneOf(RedJournal(
        Words({-1, 5, -1, 1, 5, -1, corner[0], corner[1], corner[2]}), 1, Camera({0, 0, 0}, {0, 1, 0}, 60)));
    RenderStats stats;
    EXPECT_FALSE(Empty(Draw(reaching, *reaching.camera, &stats))) << corner[0] << "," << corner[1];
    EXPECT_EQ(stats.trianglesDrawn, 1);
  }

  // Lights behind the eye or far beside the picture leave no marker.
  const ReceivedScene lights = SceneOf(
      q9::test::JournalLine("SendCameraTransformFov", {Camera({0, 0, 0}, {0, 1, 0}, 60), 60}) + q9::test::JournalLine("Q9AddLight", {"Behind"}) +
      q9::test::JournalLine("Q9SetEntityFloatArrayProperty", {1, "Behind", "transform", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -5, 0, 1}, 16}) +
      q9::test::JournalLine("Q9AddLight", {"Beside"}) +
      q9::test::JournalLine("Q9SetEntityFloatArrayProperty", {1, "Beside", "transform", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1e30, 1e-3, 0, 1}, 16}));
  EXPECT_TRUE(Empty(Draw(lights, *lights.camera)));
}

// The fitted camera's picture of `scene`, 160 x 90.
Image DrawFitted(const ReceivedScene& scene, RenderStats* stats = nullptr) {
  const FittedCamera fitted = FitCamera(BoundsOf(scene), 16.0 / 9);
  RenderSettings settings;
  settings.width = 160;
  settings.height = 90;
  settings.nearPlane = fitted.nearPlane;
  return RenderScene(scene, fitted.camera, settings, stats);
}

TEST(FitCameraTest, FramesTheWholeSceneAtAnyScaleAndPlace) {
  // A box of half size `scale` around (offset, offset, offset): all of it in the picture, which
  // it fills at its centre and leaves free at its edges.
  for (const auto& [scale, offset] : {std::pair{1e-3f, 0.0f}, {1.0f, 100.0f}, {1e3f, -5e4f}, {1e6f, 1e7f}}) {
    const ReceivedScene scene = SceneOf(RedJournal(BoxWords(offset, offset, offset, scale), 12, nullptr));
    const SceneBounds bounds = BoundsOf(scene);
    EXPECT_EQ(bounds.triangles, 12);
    EXPECT_DOUBLE_EQ(bounds.high.z, static_cast<double>(offset + scale));
    RenderStats stats;
    const Image image = DrawFitted(scene, &stats);
    EXPECT_EQ(stats.trianglesDrawn, 12) << scale;
    EXPECT_FALSE(Background(image, 80, 45)) << scale;
    for (int x = 0; x < 160; ++x) EXPECT_TRUE(Background(image, x, 0) && Background(image, x, 89)) << scale;
    for (int y = 0; y < 90; ++y) EXPECT_TRUE(Background(image, 0, y) && Background(image, 159, y)) << scale;
  }
  // Bounds follow the node's matrix; a triangle with a corner that is not finite is left out.
  json words = BoxWords(0, 0, 0, 1);
  words[0] = std::bit_cast<uint32_t>(std::numeric_limits<float>::infinity());
  const SceneBounds moved = BoundsOf(SceneOf(
      q9::test::JournalLine("MaxBeginNode", {"N", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 7, 8, 9, 1}, true}) +
      q9::test::JournalLine("MaxAddTriangles", {"M", 12, words, nullptr, nullptr, 0}) + q9::test::JournalLine("Q9EndNode", json::array())));
  EXPECT_EQ(moved.triangles, 11);
  EXPECT_EQ(moved.leftOut, 1);
  EXPECT_DOUBLE_EQ(moved.low.x, 6);
  EXPECT_DOUBLE_EQ(moved.high.z, 10);
}

TEST(FitCameraTest, AScenesOnlyPointGetsASmallFrameAroundIt) {
  for (const float x : {0.0f, 3.0f, 1e7f, -3e38f}) {
    const ReceivedScene scene = SceneOf(
        q9::test::JournalLine("Q9AddLight", {"L"}) +
        q9::test::JournalLine("Q9SetEntityFloatArrayProperty", {1, "L", "transform", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, 4, 5, 1}, 16}));
    const SceneBounds bounds = BoundsOf(scene);
    ASSERT_EQ(bounds.lights, 1);
    const FittedCamera fitted = FitCamera(bounds, 16.0 / 9);
    EXPECT_EQ(fitted.camera.to, (Vec3{x, 4, 5}));
    EXPECT_NE(fitted.camera.from, fitted.camera.to);
    for (float v : fitted.camera.from) EXPECT_TRUE(std::isfinite(v)) << x;
    EXPECT_GT(fitted.nearPlane, 0);
    // The light's marker (white inside black) at the centre of the picture.
    const Image image = DrawFitted(scene);
    EXPECT_EQ(image.Pixel(80, 45), (std::array<uint8_t, 3>{255, 255, 255})) << x;
    EXPECT_EQ(image.Pixel(80, 40), (std::array<uint8_t, 3>{0, 0, 0})) << x;
  }
}

TEST(FitCameraTest, ASceneWithNothingToDrawSaysWhy) {
  std::string error;
  const std::optional<ReadScene> empty = ParseSceneText("", error);
  ASSERT_TRUE(empty) << error;
  const SceneBounds none = BoundsOf(empty->scene);
  EXPECT_TRUE(none.Empty());
  EXPECT_EQ(NothingToDraw(*empty, none), "no node or light was received");
  const FittedCamera fitted = FitCamera(none, 16.0 / 9);
  EXPECT_NE(fitted.camera.from, fitted.camera.to);

  json nan = BoxWords(0, 0, 0, 1);
  for (size_t i = 0; i < nan.size(); i += 9) nan[i] = std::bit_cast<uint32_t>(std::numeric_limits<float>::quiet_NaN());
  const std::optional<ReadScene> broken = ParseSceneText(RedJournal(nan, 12, nullptr), error);
  EXPECT_EQ(NothingToDraw(*broken, BoundsOf(broken->scene)), "no triangle or light has a finite position");
  const std::optional<ReadScene> hollow = ParseSceneText(RedJournal(json::array(), 0, nullptr), error);
  EXPECT_EQ(NothingToDraw(*hollow, BoundsOf(hollow->scene)), "no triangle was received and no light has a position");

  const std::optional<ReadScene> archive = ParseSceneText(
      R"({"format":"q9a","nodes":[{"name":"N","meshes":[{"name":"M","triangles":12}]}]})", error);
  ASSERT_TRUE(archive) << error;
  ASSERT_EQ(archive->kind, ReadScene::Kind::Archive);
  EXPECT_THAT(NothingToDraw(*archive, BoundsOf(archive->scene)), HasSubstr("raw archive holds no triangle positions"));
}

// FNV-1a, 64 bits.
uint64_t Fingerprint(const std::string& bytes) {
  uint64_t hash = 0xcbf29ce484222325u;
  for (unsigned char c : bytes) hash = (hash ^ c) * 0x100000001b3u;
  return hash;
}

TEST(RasterizerTest, BothBuildsWriteTheSamePngBytes) {
  // A turned box, a light and a caption, from the camera sent and from the fitted one: the same
  // bytes in the native and the Windows build (and across changes that should not move a pixel).
  const ReceivedScene scene = SceneOf(
      q9::test::JournalLine("MaxBeginNode", {"Turned", {0.8f, 0.6f, 0, 0, -0.6f, 0.8f, 0, 0, 0, 0, 1, 0, 0.3f, 5, -0.2f, 1}, true}) +
      q9::test::JournalLine("MaxAddTriangles", {"M", 12, BoxWords(0, 0, 0, 1), nullptr, nullptr, 0}) + q9::test::JournalLine("Q9EndNode", json::array()) +
      q9::test::JournalLine("Q9AddLight", {"L"}) +
      q9::test::JournalLine("Q9SetEntityFloatArrayProperty", {1, "L", "transform", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 3, 1, 1}, 16}) +
      q9::test::JournalLine("SendCameraTransformFov", {Camera({0.5f, -0.5f, 1}, {0, 5, 0}, 82.5f), 82.5f}));
  RenderSettings settings{160, 90, "box - current camera"};
  EXPECT_EQ(Fingerprint(EncodePng(RenderScene(scene, *scene.camera, settings))), 6224542393391981533u);
  const FittedCamera fitted = FitCamera(BoundsOf(scene), 160.0 / 90);
  settings.nearPlane = fitted.nearPlane;
  EXPECT_EQ(Fingerprint(EncodePng(RenderScene(scene, fitted.camera, settings))), 11249283322057680130u);
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
      q9::test::JournalLine("MaxBeginNode", {"Moved", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 7, 8, 9, 1}, true}) +
      q9::test::JournalLine("MaxAddTriangles", {"M_Red", 12, words, nullptr, nullptr, 0}) +
      q9::test::JournalLine("MaxAddTriangles", {"M_Unknown", 0, json::array(), nullptr, nullptr, 0}) + q9::test::JournalLine("Q9EndNode", json::array()) +
      q9::test::JournalLine("Q9AddLight", {"L1"}) + q9::test::JournalLine("Q9SetEntityIntProperty", {1, "L1", "type", 1}) +
      q9::test::JournalLine("Q9SetEntityFloatProperty", {1, "L1", "light_cone_angle", 400}) +
      q9::test::JournalLine("Q9SetEntityFloatArrayProperty", {1, "L1", "light_color", {255, 0, 0}, 3}) +
      q9::test::JournalLine("AddScene", {"S1", "Away", Camera({1, 2, 3}, {1, 3, 3}, 60), 60}));
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

TEST(ExportGlbTest, MapFilesGoToTheMaterialsExtrasAndNamesAreEscaped) {
  const std::string name = "Solid \"1\" \\ tab\t\x01 \xC3\xA9";
  const ReceivedScene scene = SceneOf(
      q9::test::JournalLine("Q9AddMaterial", {"M_Oak"}) +
      q9::test::JournalLine("Q9SetMaterialStringProperty", {"M_Oak", "Diffuse Map", "C:\\Data\\Textures\\oak.png"}) +
      q9::test::JournalLine("Q9SetMaterialStringProperty", {"M_Oak", "AOMap", "C:\\Data\\Textures\\oak_ao.png"}) +
      q9::test::JournalLine("Q9SetMaterialFloatProperty", {"M_Oak", "AOIntensity", 0.5}) +
      q9::test::JournalLine("Q9SetMaterialStringProperty", {"M_Oak", "name", "Oak"}) +
      q9::test::JournalLine("MaxBeginNode", {name, nullptr, true}) +
      q9::test::JournalLine("MaxAddTriangles", {"M_Oak", 12, BoxWords(0, 5, 0, 1), nullptr, nullptr, 0}) + q9::test::JournalLine("Q9EndNode", json::array()));
  const json gltf = GlbJson(ExportGlb(scene));
  EXPECT_FALSE(gltf.contains("images"));
  EXPECT_FALSE(gltf.contains("textures"));
  EXPECT_EQ(gltf["materials"][0]["extras"],
            (json{{"Diffuse Map", "C:\\Data\\Textures\\oak.png"}, {"AOMap", "C:\\Data\\Textures\\oak_ao.png"}}));
  EXPECT_EQ(gltf["nodes"][1]["name"], name);

  // Nothing received: the root node alone, no buffer.
  const json empty = GlbJson(ExportGlb(ReceivedScene{}));
  EXPECT_EQ(empty["nodes"].size(), 1u);
  EXPECT_FALSE(empty["nodes"][0].contains("children"));
  EXPECT_FALSE(empty.contains("buffers"));
  EXPECT_FALSE(empty.contains("meshes"));
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

TEST_F(ViewCommandTest, DrawsWithoutACameraAndSaysWhenThereIsNothingToDraw) {
  q9::test::WriteFileBytes(folder.File(u"blind.jsonl"), RedJournal(BoxWords(0, 5, 0, 1), 12, nullptr));
  const Result fitted = Q9x({"view", Path(u"blind.jsonl"), "-o", Path(u"b.png"), "--size", "64x48"});
  EXPECT_EQ(fitted.status, 0) << fitted.err;
  EXPECT_EQ(fitted.err, "");
  EXPECT_TRUE(q9::test::FileExists(folder.File(u"b.png")));

  q9::test::WriteFileBytes(folder.File(u"empty.jsonl"), "");
  const Result empty = Q9x({"view", Path(u"empty.jsonl"), "-o", Path(u"e.png")});
  EXPECT_EQ(empty.status, kNothingToShow) << empty.err;
  EXPECT_EQ(empty.err, "q9x view: nothing to draw: no node or light was received\n");
  EXPECT_TRUE(q9::test::FileExists(folder.File(u"e.png")));

  q9::test::WriteFileBytes(folder.File(u"j.jsonl"), BoxJournal({0, 5, 0}));
  EXPECT_EQ(Q9x({"view", Path(u"j.jsonl"), "-o", Path(u"f.png"), "--fit"}).status, 0);
  EXPECT_EQ(Q9x({"view", Path(u"j.jsonl"), "-o", Path(u"g.png"), "--fit", "--scene", "S1"}).status, kUsage);
}

TEST_F(ViewCommandTest, ViewAndExportSayAlikeThatASceneHoldsNothingToDraw) {
  // A raw archive holds names and triangle counts but no positions; an empty journal nothing.
  q9::test::WriteFileBytes(folder.File(u"a.q9a"),
                           R"({"format":"q9a","nodes":[{"name":"N","meshes":[{"name":"M","triangles":12}]}]})");
  q9::test::WriteFileBytes(folder.File(u"empty.jsonl"), "");
  const std::pair<std::u16string, std::string> sources[] = {
      {u"a.q9a", "a raw archive holds no triangle positions (its journal holds them)"},
      {u"empty.jsonl", "no node or light was received"}};
  const std::pair<std::string, std::u16string> commands[] = {{"view", u"out.png"}, {"export", u"out.glb"}};
  for (const auto& [source, why] : sources) {
    for (const auto& [command, output] : commands) {
      SCOPED_TRACE(command + " " + q9::platform::DisplayPath(source));
      const Result result = Q9x({command, Path(source), "-o", Path(output)});
      EXPECT_EQ(result.status, kNothingToShow);
      EXPECT_EQ(result.err, "q9x " + command + ": nothing to draw: " + why + "\n");
      // Written all the same, so that an earlier file of the name is not taken for this scene's.
      EXPECT_EQ(result.out, Path(output) + "\n");
      EXPECT_TRUE(q9::test::FileExists(folder.File(output)));
      q9::platform::RemovePath(folder.File(output));
    }
  }
}

TEST_F(ViewCommandTest, SummaryNamesTheLineItCannotReadAndGivesJson) {
  q9::test::WriteFileBytes(folder.File(u"bin.q9a"), "{\"fn\":\"Connect\"}\n" + std::string("\x89PNG\r\n\x1a\x00", 8));
  const Result binary = Q9x({"summary", Path(u"bin.q9a")});
  EXPECT_EQ(binary.status, kFailed);
  EXPECT_THAT(binary.err, HasSubstr("line 2 (byte 17) is not a journal call: \\x89PNG"));
  EXPECT_EQ(binary.out, "Connect []\n");  // the calls before it, as they were read

  q9::test::WriteFileBytes(folder.File(u"j.jsonl"), BoxJournal({0, 5, 0}) + q9::test::JournalLine("AddScene", {"S1", "Front", nullptr, 1}));
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
