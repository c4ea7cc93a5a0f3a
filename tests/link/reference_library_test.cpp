// The reference link library as the tests and support people rely on it: the journal's exact
// lines, session numbers, switches, and the raw archive.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>

#include <nlohmann/json.hpp>

#include "base/exchange_folder.h"
#include "base/platform.h"
#include "base/text.h"
#include "link/link_session.h"
#include "received/raw_archive.h"
#ifndef _WIN32
#include "file_size_limit_posix.h"
#endif
#include "reference_link.h"
#include "test_files.h"

namespace q9 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::HasSubstr;

std::vector<std::string> JournalLines(const std::u16string& path) {
  std::vector<std::string> lines;
  std::istringstream in(test::ReadFileBytes(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ReferenceLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    process.exchangeFolder.Fix(link.folder().path() + u"\\");
    ASSERT_TRUE(link.Start(session));
    h = session.handle;
  }

  const LinkCalls& f() const { return session.link(); }
  std::vector<std::string> Lines() const { return JournalLines(link.journalPath()); }

  // In the archive's own order.
  nlohmann::ordered_json SaveArchive() {
    const std::u16string path = link.folder().File(u"scene.q9a");
    f().Q9SaveRawToQ9a(h, path.c_str());
    return nlohmann::ordered_json::parse(test::ReadFileBytes(path), nullptr, false);
  }

  test::ReferenceLink link;
  ProcessState process;
  LinkSession session{process};
  Q9Session h = nullptr;
};

TEST_F(ReferenceLibraryTest, LinesHoldNameSessionArgumentsAndResultAsCompactJson) {
  f().SetQ9RenderPath(u"");
  f().Connect(h);
  f().HasConnected(h);
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  f().MaxBeginNode(h, u"Solid_7", identity, true);
  f().Q9SetMaterialIntProperty(h, u"Oak", u"EmissiveSwitcher", -5);
  const float colour[3] = {255, 127.5f, 0};
  f().Q9SetEntityFloatArrayProperty(h, 1, u"Light57", u"light_color", colour, 3);
  EXPECT_THAT(Lines(),
              ElementsAre(R"({"fn":"SetQ9RenderPath","args":[""]})",
                          R"({"fn":"Connect","h":1,"args":[]})",
                          R"({"fn":"HasConnected","h":1,"args":[],"ret":true})",
                          R"({"fn":"MaxBeginNode","h":1,"args":["Solid_7",[1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1],true]})",
                          R"({"fn":"Q9SetMaterialIntProperty","h":1,"args":["Oak","EmissiveSwitcher",-5]})",
                          R"({"fn":"Q9SetEntityFloatArrayProperty","h":1,"args":[1,"Light57","light_color",[255,127.5,0],3]})"));
}

TEST_F(ReferenceLibraryTest, FloatsAreShortestDecimalsThatReadBackExactly) {
  const float values[] = {0.05000001f, 0.1f, 1.0f / 3, 1e-7f, 3.4028235e38f, 1e-45f, -0.0f,
                          60.0f, 6500.0f, 0.89999998f};
  for (float value : values) f().Q9SetMaterialFloatProperty(h, u"M", u"p", value);
  const auto calls = link.Calls();
  ASSERT_EQ(calls.size(), std::size(values));
  const std::vector<std::string> lines = Lines();
  for (size_t i = 0; i < calls.size(); ++i) {
    // The digits as written, read straight into a float.
    const std::string& line = lines[i];
    const size_t start = line.rfind(',') + 1;
    const std::string digits = line.substr(start, line.size() - start - 2);
    float back = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), back);
    EXPECT_EQ(std::memcmp(&back, &values[i], sizeof back), 0) << digits;
    char shortest[32];
    const auto end = std::to_chars(shortest, shortest + sizeof shortest, values[i]).ptr;
    EXPECT_EQ(digits, std::string(shortest, end));
  }
  EXPECT_EQ(lines[0], R"({"fn":"Q9SetMaterialFloatProperty","h":1,"args":["M","p",0.05000001]})");
  EXPECT_EQ(calls[7].Text(), R"(Q9SetMaterialFloatProperty ["M","p",60])");
}

TEST_F(ReferenceLibraryTest, NonFiniteFloatsAreTexts) {
  f().SendCameraTransformFov(h, nullptr, std::numeric_limits<float>::quiet_NaN());
  f().Q9SetEntityFloatProperty(h, 1, u"L", u"a", std::numeric_limits<float>::infinity());
  f().Q9SetEntityFloatProperty(h, 1, u"L", u"b", -std::numeric_limits<float>::infinity());
  EXPECT_THAT(Lines(),
              ElementsAre(R"({"fn":"SendCameraTransformFov","h":1,"args":[null,"nan"]})",
                          R"({"fn":"Q9SetEntityFloatProperty","h":1,"args":[1,"L","a","inf"]})",
                          R"({"fn":"Q9SetEntityFloatProperty","h":1,"args":[1,"L","b","-inf"]})"));
  EXPECT_TRUE(std::isnan(test::JournalFloat(link.Calls()[0].args[1])));
}

TEST_F(ReferenceLibraryTest, TextsAreUtf8WithEscapesAndUnpairedSurrogatesReplaced) {
  const char16_t text[] = {u'a', u'"', u'\\', u'\n', 0x01, 0xE9, 0xD83D, 0xDE00, 0xD800, u'z', 0};
  f().Q9AddLight(h, text);
  f().Q9AddMaterial(h, nullptr);
  EXPECT_THAT(Lines(), ElementsAre("{\"fn\":\"Q9AddLight\",\"h\":1,\"args\":[\"a\\\"\\\\\\n\\u0001"
                                   "\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBDz\"]}",
                                   R"({"fn":"Q9AddMaterial","h":1,"args":[null]})"));
}

TEST_F(ReferenceLibraryTest, MeshArraysShowTheirRawWords) {
  // Two triangles: 18 floats in the first array; the others hold one value each here.
  std::vector<float> positions(18);
  for (size_t i = 0; i < positions.size(); ++i) positions[i] = float(i);
  positions[1] = -1.5f;
  const uint32_t normals[] = {7, 8};
  const float uv[] = {0.5f};
  f().MaxAddTriangles(h, u"wall", 2, positions.data(), normals, uv, 0);
  f().MaxAddTriangles(h, u"empty", 0, nullptr, nullptr, nullptr, 0);
  const auto calls = link.Calls();
  ASSERT_EQ(calls.size(), 2u);
  const nlohmann::json& words = calls[0].args[2];
  ASSERT_EQ(words.size(), 18u);
  uint32_t minusOneAndAHalf;
  const float value = -1.5f;
  std::memcpy(&minusOneAndAHalf, &value, 4);
  EXPECT_EQ(words[0], 0u);
  EXPECT_EQ(words[1], minusOneAndAHalf);
  EXPECT_EQ(words[2], 0x40000000u);  // 2.0f
  uint32_t half;
  std::memcpy(&half, &uv[0], 4);
  EXPECT_EQ(calls[0].args[3], nlohmann::json::array({7}));
  EXPECT_EQ(calls[0].args[4], nlohmann::json::array({half}));
  EXPECT_EQ(calls[0].args[5], 0);
  EXPECT_EQ(calls[1].Text(), R"(MaxAddTriangles ["empty",0,null,null,null,0])");
}

TEST_F(ReferenceLibraryTest, SessionsAreNumberedAndUnknownHandlesAreZero) {
  Q9Session second = f().CreateSession();
  f().Connect(second);
  f().Connect(nullptr);
  f().Connect(reinterpret_cast<Q9Session>(uintptr_t{99}));
  f().DestroySession(second);
  f().Connect(second);  // destroyed: no longer a session
  f().Q9GetRenderVersion(nullptr, 32);
  const auto calls = link.Calls();
  ASSERT_EQ(calls.size(), 7u);
  EXPECT_EQ(calls[0].ret, 2);
  EXPECT_EQ(calls[0].h, std::nullopt);
  EXPECT_EQ(calls[1].h, 2);
  EXPECT_EQ(calls[2].h, 0);
  EXPECT_EQ(calls[3].h, 0);
  EXPECT_EQ(calls[4].h, 2);
  EXPECT_EQ(calls[5].h, 0);
  EXPECT_EQ(calls[6].Text(), "Q9GetRenderVersion [32]");
  EXPECT_EQ(calls[6].h, std::nullopt);
}

TEST_F(ReferenceLibraryTest, VersionTextFitsTheGivenCount) {
  char16_t buffer[32];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  f().Q9GetRenderVersion(buffer, 4);
  EXPECT_EQ(buffer[3], u'\0');
  EXPECT_EQ(buffer[4], u'#');
  f().Q9GetRenderVersion(buffer, 32);
  EXPECT_FALSE(std::u16string(buffer).empty());
}

TEST_F(ReferenceLibraryTest, JournalFollowsTheVariableAtEveryCall) {
  const std::u16string other = link.folder().File(u"other.jsonl");
  f().Q9SendLights(h);
  test::ReferenceLink::SetVariable("Q9PLUGIN_JOURNAL", other);
  f().Q9SendCamera(h);
  test::ReferenceLink::SetVariable("Q9PLUGIN_JOURNAL", std::nullopt);
  f().Q9SendProcessed(h);
  test::ReferenceLink::SetVariable("Q9PLUGIN_JOURNAL", link.journalPath());
  f().Q9EndNode(h);
  EXPECT_THAT(link.Names(), ElementsAre("Q9SendLights", "Q9EndNode"));
  EXPECT_THAT(test::CallNames(test::ReadJournal(other)), ElementsAre("Q9SendCamera"));
}

TEST_F(ReferenceLibraryTest, ArchiveHoldsWhatTheSessionCollected) {
  f().SetModelFilePath(h, u"villa");
  f().Q9AddMaterial(h, u"Oak");
  f().Q9SetMaterialType(h, u"Oak", 1);
  f().Q9SetMaterialStringProperty(h, u"Oak", u"name", u"Oak wood");
  f().Q9SetMaterialFloatProperty(h, u"Oak", u"Opacity", 0.05000001f);
  f().Q9SetMaterialIntProperty(h, u"Oak", u"EmissiveSwitcher", 1);
  f().Q9SetMaterialFloatProperty(h, u"Oak", u"Light", std::numeric_limits<float>::quiet_NaN());
  f().Q9SetMaterialFloatProperty(h, u"Unknown", u"Opacity", 1);  // never added: not kept
  f().Q9AddLight(h, u"Light57");
  f().Q9SetEntityStringProperty(h, 1, u"Light57", u"id", u"Light57");
  f().Q9SetEntityIntProperty(h, 1, u"Light57", u"type", 0);
  const float transform[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1};
  f().Q9SetEntityFloatArrayProperty(h, 1, u"Light57", u"transform", transform, 16);
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const std::vector<float> mesh(9 * 12);
  const float* m = mesh.data();
  f().MaxBeginNode(h, u"Solid_1", identity, true);
  f().MaxAddTriangles(h, u"wall", 12, m, m, m, 0);
  f().MaxAddTriangles(h, u"roof", 3, m, m, m, 0);
  f().Q9EndNode(h);
  f().MaxAddTriangles(h, u"stray", 5, m, m, m, 0);  // no node open
  CameraTransform camera{{1, 2, 3}, {4, 5, 6}, {0, 0, 1}, 60};
  f().AddScene(h, u"Front", u"Front", &camera, 60);
  camera.fov = 45;
  f().SendCameraTransformFov(h, &camera, 45);

  const nlohmann::ordered_json archive = SaveArchive();
  ASSERT_TRUE(archive.is_object());
  EXPECT_EQ(archive["model"], "villa");
  EXPECT_EQ(archive["materialVersion"], 1);
  ASSERT_EQ(archive["materials"].size(), 1u);
  const nlohmann::ordered_json& oak = archive["materials"][0];
  EXPECT_EQ(oak["name"], "Oak");
  EXPECT_EQ(oak["type"], 1);
  EXPECT_EQ(oak["properties"].dump(),
            R"({"name":"Oak wood","Opacity":0.05000001,"EmissiveSwitcher":1,"Light":"nan"})");
  ASSERT_EQ(archive["lights"].size(), 1u);
  EXPECT_EQ(archive["lights"][0]["name"], "Light57");
  EXPECT_EQ(archive["lights"][0]["properties"]["type"], 0);
  EXPECT_EQ(test::JournalFloats(archive["lights"][0]["properties"]["transform"]),
            std::vector<float>(std::begin(transform), std::end(transform)));
  ASSERT_EQ(archive["nodes"].size(), 1u);
  const nlohmann::ordered_json& node = archive["nodes"][0];
  EXPECT_EQ(node["name"], "Solid_1");
  EXPECT_EQ(node["triangles"], 15);
  EXPECT_EQ(node["meshes"].dump(), R"([{"name":"wall","triangles":12},{"name":"roof","triangles":3}])");
  ASSERT_EQ(archive["scenes"].size(), 1u);
  EXPECT_EQ(archive["scenes"][0]["name"], "Front");
  EXPECT_EQ(test::JournalFloats(archive["scenes"][0]["camera"]["from"]),
            (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(archive["scenes"][0]["fov"], 60.0);
  EXPECT_EQ(archive["camera"]["camera"]["fov"], 45.0);
  EXPECT_EQ(archive["camera"]["fov"], 45.0);
}

// The archive's text, byte for byte: what readers that compare archives as text rely on.
constexpr char kPinnedArchive[] = R"ARCHIVE({
  "format": "Q9Plugin reference raw archive",
  "version": 1,
  "model": "villa \"A\"\\B",
  "materialVersion": 2,
  "materials": [
    {
      "name": "Eiche, geölt",
      "type": 1,
      "properties": {
        "Diffuse Map": "C:\\T\\oak.png\n\t\u0001",
        "Opacity": 0.05000001,
        "Whole": 60.0,
        "Zero": -0.0,
        "Large": 3.4028235e+38,
        "Small": 1e-07,
        "Not": "nan",
        "Count": -5
      }
    },
    {
      "name": "Plain",
      "type": null,
      "properties": {}
    }
  ],
  "lights": [
    {
      "name": "L1",
      "properties": {
        "light_color": [255.0, 0.5, "-inf", "inf", "nan"],
        "none": [],
        "brightness": 1200.0
      }
    }
  ],
  "nodes": [
    {
      "name": "Solid_1",
      "matrix": [1.0, 0.0, 0.0, 0.0, 0.0, 0.8775825, 0.4794255, 0.0, 0.0, -0.4794255, 0.8775825, 0.0, 10.5, -20.0, 30.0, 1.0],
      "flag": true,
      "triangles": 5,
      "meshes": [
        {
          "name": "Eiche, geölt",
          "triangles": 4
        },
        {
          "name": "Plain",
          "triangles": 1
        }
      ]
    },
    {
      "name": "Solid_2",
      "matrix": null,
      "flag": false,
      "triangles": 0,
      "meshes": []
    }
  ],
  "scenes": [
    {
      "name": "Front",
      "displayName": "Front view",
      "camera": {
        "from": [1.0, 2.0, 3.0],
        "to": [4.0, 5.5, 6.0],
        "up": [0.0, 0.0, 1.0],
        "fov": 55.0
      },
      "fov": 82.5
    },
    {
      "name": "Blind",
      "displayName": "",
      "camera": null,
      "fov": 60.0
    }
  ],
  "camera": {
    "camera": null,
    "fov": "nan"
  }
}
)ARCHIVE";

TEST_F(ReferenceLibraryTest, ArchiveTextIsPinnedAndReadsBackToTheSameBytes) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  f().SetModelFilePath(h, u"villa \"A\"\\B");
  f().Q9SetMaterialVersion(h, 2);
  f().Q9AddMaterial(h, u"Eiche, ge\u00f6lt");
  f().Q9SetMaterialType(h, u"Eiche, ge\u00f6lt", 1);
  f().Q9SetMaterialStringProperty(h, u"Eiche, ge\u00f6lt", u"Diffuse Map", u"C:\\T\\oak.png\n\t\x01");
  f().Q9SetMaterialFloatProperty(h, u"Eiche, ge\u00f6lt", u"Opacity", 0.05000001f);
  f().Q9SetMaterialFloatProperty(h, u"Eiche, ge\u00f6lt", u"Whole", 60);
  f().Q9SetMaterialFloatProperty(h, u"Eiche, ge\u00f6lt", u"Zero", -0.0f);
  f().Q9SetMaterialFloatProperty(h, u"Eiche, ge\u00f6lt", u"Large", 3.4028235e38f);
  f().Q9SetMaterialFloatProperty(h, u"Eiche, ge\u00f6lt", u"Small", 1e-7f);
  f().Q9SetMaterialFloatProperty(h, u"Eiche, ge\u00f6lt", u"Not", nan);
  f().Q9SetMaterialIntProperty(h, u"Eiche, ge\u00f6lt", u"Count", -5);
  f().Q9AddMaterial(h, u"Plain");
  f().Q9AddLight(h, u"L1");
  const float values[] = {255, 0.5f, -inf, inf, nan};
  f().Q9SetEntityFloatArrayProperty(h, 1, u"L1", u"light_color", values, 5);
  f().Q9SetEntityFloatArrayProperty(h, 1, u"L1", u"none", values, 0);
  f().Q9SetEntityFloatProperty(h, 1, u"L1", u"brightness", 1200);
  const float matrix[16] = {1, 0, 0, 0, 0, 0.8775825f, 0.4794255f, 0, 0, -0.4794255f, 0.8775825f, 0, 10.5f, -20, 30, 1};
  const std::vector<float> mesh(9 * 4);
  f().MaxBeginNode(h, u"Solid_1", matrix, true);
  f().MaxAddTriangles(h, u"Eiche, ge\u00f6lt", 4, mesh.data(), mesh.data(), mesh.data(), 0);
  f().MaxAddTriangles(h, u"Plain", 1, mesh.data(), mesh.data(), mesh.data(), 0);
  f().Q9EndNode(h);
  f().MaxBeginNode(h, u"Solid_2", nullptr, false);
  f().Q9EndNode(h);
  CameraTransform camera{{1, 2, 3}, {4, 5.5f, 6}, {0, 0, 1}, 55};
  f().AddScene(h, u"Front", u"Front view", &camera, 82.5f);
  f().AddScene(h, u"Blind", u"", nullptr, 60);
  f().SendCameraTransformFov(h, &camera, 82.5f);
  f().SendCameraTransformFov(h, nullptr, nan);

  const std::u16string path = link.folder().File(u"scene.q9a");
  f().Q9SaveRawToQ9a(h, path.c_str());
  const std::string text = test::ReadFileBytes(path);
  EXPECT_EQ(text, kPinnedArchive);

  // Read into the received scene and written again: the same bytes.
  size_t at = 0;
  const std::optional<q9x::ReceivedScene> scene = q9x::ReadArchive([&](char* into, size_t size) {
    const size_t count = std::min(size, text.size() - at);
    std::memcpy(into, text.data() + at, count);
    at += count;
    return count;
  });
  ASSERT_TRUE(scene);
  EXPECT_EQ(scene->nodes.size(), 2u);
  EXPECT_FALSE(scene->camera);  // the archive shows the last call only, which passed no block
  EXPECT_TRUE(scene->cameraWithoutBlock);
  const std::u16string again = link.folder().File(u"again.q9a");
  {
    platform::UniqueFile file = platform::OpenFile(again, "wb");
    ASSERT_TRUE(file);
    ASSERT_TRUE(q9x::WriteArchive(*scene, file.get()));
  }
  EXPECT_EQ(test::ReadFileBytes(again), text);
}

TEST_F(ReferenceLibraryTest, RemovalsLeaveTheArchive) {
  f().Q9AddMaterial(h, u"Oak");
  f().Q9AddMaterial(h, u"Pine");
  f().Q9AddLight(h, u"Light1");
  f().Q9AddLight(h, u"Light2");
  f().MaxBeginNode(h, u"Solid_1", nullptr, true);
  f().Q9EndNode(h);
  f().MaxBeginNode(h, u"Solid_2", nullptr, true);
  f().Q9EndNode(h);
  CameraTransform camera{};
  f().AddScene(h, u"Front", u"Front", &camera, 0);
  f().AddScene(h, u"Side", u"Side", &camera, 0);
  f().Q9ResetMaterial(h, u"Oak");
  f().Q9DeleteLight(h, u"Light2");
  f().MaxDeleteNode(h, u"Solid_1");
  f().Q9DeleteNode(h, u"Solid_2");
  f().Q9DeleteScene(h, u"Side");
  nlohmann::ordered_json archive = SaveArchive();
  EXPECT_EQ(archive["materials"].size(), 1u);
  EXPECT_EQ(archive["materials"][0]["name"], "Pine");
  EXPECT_EQ(archive["lights"].size(), 1u);
  EXPECT_EQ(archive["lights"][0]["name"], "Light1");
  EXPECT_THAT(archive["nodes"], IsEmpty());
  EXPECT_EQ(archive["scenes"].size(), 1u);
  f().Q9ClearLights(h);
  f().Q9ClearScenes(h);
  archive = SaveArchive();
  EXPECT_THAT(archive["lights"], IsEmpty());
  EXPECT_THAT(archive["scenes"], IsEmpty());
}

TEST_F(ReferenceLibraryTest, ArchiveIsReplacedWholeAndNoTemporaryFileStays) {
  const std::u16string path = link.folder().File(u"scene.q9a");
  test::WriteFileBytes(path, std::string(100000, 'x'));
  f().Q9AddMaterial(h, u"Oak");
  f().Q9SaveRawToQ9a(h, path.c_str());
  const std::string saved = test::ReadFileBytes(path);
  EXPECT_TRUE(nlohmann::json::accept(saved));
  EXPECT_THAT(test::FolderEntryNames(link.folder().path()),
              ElementsAre("Q9_Log.log", "journal.jsonl", "model.q9a", "scene.q9a"));
}

// What a session is given before its model is known names no archive: nothing lands in the
// working directory or in a folder, and the journal still has the calls.
TEST_F(ReferenceLibraryTest, PathWithoutAModelNameWritesNoArchive) {
  const std::vector<std::string> before = test::FolderEntryNames(link.folder().path());
  const std::u16string inFolder = link.folder().File(u".q9a");
  f().Q9SaveRawToQ9a(h, u".q9a");
  f().Q9SaveRawToQ9a(h, inFolder.c_str());
  EXPECT_FALSE(test::FileExists(u".q9a"));
  EXPECT_EQ(test::FolderEntryNames(link.folder().path()), before);
  const std::vector<std::string> lines = Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_THAT(lines[lines.size() - 2], HasSubstr("Q9SaveRawToQ9a"));
  EXPECT_THAT(lines.back(), HasSubstr(test::JournalText(inFolder)));
}

#ifndef _WIN32
// A full disk, played by a file-size limit in a forked child just above the earlier archive: the
// new, larger archive cannot be written whole. The earlier one stays as it was, no temporary file
// is left, and the call's journal line says why.
TEST_F(ReferenceLibraryTest, ArchiveThatCannotBeWrittenWholeLeavesTheEarlierOneAndSaysWhy) {
  const std::u16string path = link.folder().File(u"scene.q9a");
  for (int i = 0; i < 40; ++i) f().Q9AddMaterial(h, Utf16FromUtf8("M" + std::to_string(i)).c_str());
  f().Q9SaveRawToQ9a(h, path.c_str());
  const std::string earlier = test::ReadFileBytes(path);
  for (int i = 40; i < 400; ++i) f().Q9AddMaterial(h, Utf16FromUtf8("M" + std::to_string(i)).c_str());
  link.ClearJournal();
  const std::string report = test::InChildWithFileSizeLimit(earlier.size() + 1, [&](std::string&) {
    f().Q9SaveRawToQ9a(h, path.c_str());
  });
  EXPECT_EQ(report, "");
  EXPECT_EQ(test::ReadFileBytes(path), earlier);
  EXPECT_THAT(test::FolderEntryNames(link.folder().path()),
              ElementsAre("Q9_Log.log", "journal.jsonl", "model.q9a", "scene.q9a"));
  const std::vector<test::JournalCall> calls = link.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Text(), "Q9SaveRawToQ9a [" + test::JournalText(path) + "]");
  EXPECT_EQ(calls[0].error, "the archive could not be written: File too large");
}
#endif

TEST_F(ReferenceLibraryTest, ManyRemovalsKeepTheOrderOfWhatIsLeft) {
  for (int i = 0; i < 100; ++i) {
    f().MaxBeginNode(h, Utf16FromUtf8("Solid_" + std::to_string(i)).c_str(), nullptr, true);
  }
  // Removing all but every third closes the gaps the removals leave; names set again keep their
  // place, a name removed and added again goes last.
  for (int i = 0; i < 100; ++i) {
    if (i % 3 != 0) f().MaxDeleteNode(h, Utf16FromUtf8("Solid_" + std::to_string(i)).c_str());
  }
  f().MaxBeginNode(h, u"Solid_1", nullptr, true);
  f().MaxBeginNode(h, u"Solid_3", nullptr, false);
  std::vector<std::string> expected;
  for (int i = 0; i < 100; i += 3) expected.push_back("Solid_" + std::to_string(i));
  expected.push_back("Solid_1");
  std::vector<std::string> names;
  const nlohmann::ordered_json archive = SaveArchive();
  for (const auto& node : archive["nodes"]) names.push_back(node["name"]);
  EXPECT_EQ(names, expected);
  EXPECT_EQ(archive["nodes"][1]["flag"], false);
}

TEST_F(ReferenceLibraryTest, ArchiveFolderSwitchKeepsTheNameAndReplacesTheFolder) {
  const test::TempFolder copied;
  const std::u16string given = link.folder().File(u"scene.q9a");
  f().Q9AddMaterial(h, u"Oak");
  for (const std::u16string& folder : {copied.path(), copied.path() + u"\\"}) {
    test::ReferenceLink::SetVariable("Q9PLUGIN_ARCHIVE_DIR", folder);
    f().Q9SaveRawToQ9a(h, given.c_str());
    EXPECT_FALSE(test::FileExists(given));
    EXPECT_THAT(test::FolderEntryNames(copied.path()), ElementsAre("scene.q9a"));
    EXPECT_TRUE(nlohmann::json::accept(test::ReadFileBytes(copied.File(u"scene.q9a"))));
    platform::RemovePath(copied.File(u"scene.q9a"));
  }
  // Empty counts as unset: the given path again. The journal shows the path as given.
  test::ReferenceLink::SetVariable("Q9PLUGIN_ARCHIVE_DIR", u"");
  f().Q9SaveRawToQ9a(h, given.c_str());
  EXPECT_TRUE(test::FileExists(given));
  EXPECT_THAT(test::FolderEntryNames(copied.path()), IsEmpty());
  EXPECT_EQ(link.Calls()[1].args[0], Utf8FromUtf16(given));
}

TEST_F(ReferenceLibraryTest, CallsWithoutJournalLeaveNoFileAndStillCollect) {
  test::ReferenceLink::SetVariable("Q9PLUGIN_JOURNAL", std::nullopt);
  f().Q9AddMaterial(h, u"Oak");
  EXPECT_EQ(SaveArchive()["materials"].size(), 1u);
  EXPECT_EQ(test::ReadFileBytes(link.journalPath()), "");
}

}  // namespace
}  // namespace q9
