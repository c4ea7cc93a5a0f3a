// `q9x export`: the sample exchange folder's received scene as glTF, read back with tinygltf.
// (The Khronos validator runs on the same export in the test gltf_validator.)
#include "picture/gltf_writer.h"

#include <gmock/gmock.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <map>

#define TINYGLTF_IMPLEMENTATION
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>

#include "base/platform.h"
#include "runner/scene_source.h"
#include "q9x_call.h"
#include "test_files.h"

namespace q9x {
namespace {

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy(std::filesystem::path(Q9_SAMPLES_DIR),
                          std::filesystem::path(Path(u"samples")),
                          std::filesystem::copy_options::recursive);
  }
  std::string Path(std::u16string_view name) { return q9::platform::DisplayPath(folder.File(name)); }

  // The sample after the start-up load, the camera and the views.
  ReceivedScene Sample() {
    SceneSource source;
    source.folder = Path(u"samples");
    source.words = {"cameraSync", "viewsSync"};
    std::ostringstream err;
    Outcome<ReadScene> read = LoadScene(source, err);
    EXPECT_TRUE(read) << err.str() << (read ? "" : read.failure().reason);
    return read ? read->scene : ReceivedScene{};
  }

  q9::test::TempFolder folder;
};

TEST_F(ExportTest, TheSampleReadsBackWithItsNodesMeshesTrianglesAndCamera) {
  const ReceivedScene scene = Sample();
  ASSERT_EQ(scene.nodes.size(), 5u);
  ASSERT_TRUE(scene.camera);
  size_t meshes = 0;
  for (const auto& [name, node] : scene.nodes) meshes += node.meshes.size();
  EXPECT_EQ(meshes, 7u);

  const std::string glb = ExportGlb(scene);
  tinygltf::TinyGLTF loader;
  tinygltf::Model model;
  std::string error, warning;
  ASSERT_TRUE(loader.LoadBinaryFromMemory(&model, &error, &warning,
                                          reinterpret_cast<const unsigned char*>(glb.data()),
                                          static_cast<unsigned>(glb.size())))
      << error;

  size_t rendererNodes = 0, primitives = 0, triangles = 0;
  const tinygltf::Node* camera = nullptr;
  for (const tinygltf::Node& node : model.nodes) {
    if (node.name.starts_with("Solid_")) ++rendererNodes;
    if (node.name == "Current camera") camera = &node;
    if (node.mesh < 0) continue;
    for (const tinygltf::Primitive& primitive : model.meshes[node.mesh].primitives) {
      ++primitives;
      triangles += model.accessors[primitive.attributes.at("POSITION")].count / 3;
      EXPECT_EQ(model.accessors[primitive.attributes.at("NORMAL")].count,
                model.accessors[primitive.attributes.at("POSITION")].count);
    }
  }
  EXPECT_EQ(rendererNodes, scene.nodes.size());
  EXPECT_EQ(primitives, meshes);
  EXPECT_EQ(static_cast<int64_t>(triangles), scene.Triangles());
  ASSERT_NE(camera, nullptr);
  ASSERT_EQ(camera->matrix.size(), 16u);
  // Views.cam's active view "Desk corner" is the camera the views request leaves.
  EXPECT_DOUBLE_EQ(camera->matrix[12], 60);
  EXPECT_DOUBLE_EQ(camera->matrix[13], 40);
  EXPECT_DOUBLE_EQ(camera->matrix[14], 150);
  EXPECT_EQ(model.cameras.size(), 1 + scene.scenes.size());
  EXPECT_EQ(model.lights.size(), scene.lights.size());
  // The journal holds no texture coordinates: no images, the map files in the materials' extras.
  EXPECT_TRUE(model.images.empty());
  EXPECT_TRUE(model.textures.empty());
  std::map<std::string, const tinygltf::Material*> materials;
  for (const tinygltf::Material& material : model.materials) materials[material.name] = &material;
  ASSERT_TRUE(materials.count("M_Brick"));
  const tinygltf::Value& brick = materials["M_Brick"]->extras;
  EXPECT_THAT(brick.Get("Diffuse Map").Get<std::string>(), ::testing::EndsWith("\\Textures\\brick.png"));
  EXPECT_THAT(brick.Get("Normal Map One").Get<std::string>(), ::testing::EndsWith("brick_normal.png"));
  ASSERT_TRUE(materials.count("M_Steel"));
  EXPECT_FALSE(materials["M_Steel"]->extras.IsObject());
}

TEST_F(ExportTest, TheBinaryChunkReachesTheSinkInPiecesOfAtMostOneMegabyte) {
  const ReceivedScene scene = Sample();
  const std::string whole = ExportGlb(scene);
  // The sample is small: its binary chunk in one piece, after the header, JSON and its padding.
  std::vector<std::string> pieces;
  std::string error;
  ASSERT_TRUE(WriteGlb(scene, [&pieces](std::string_view bytes) {
    pieces.emplace_back(bytes);
    return true;
  }, error)) << error;
  std::string joined;
  for (const std::string& piece : pieces) joined += piece;
  EXPECT_EQ(joined, whole);
  EXPECT_EQ(pieces.front().size(), 20u);  // the file header and the JSON chunk's

  // A sink that refuses: the writing stops and says so.
  size_t calls = 0;
  EXPECT_FALSE(WriteGlb(scene, [&calls](std::string_view) { return ++calls < 3; }, error));
  EXPECT_EQ(calls, 3u);
  EXPECT_THAT(error, ::testing::HasSubstr("could not take"));
}

TEST_F(ExportTest, ALargeMeshStreamsInPiecesAndReadsBack) {
  // 40 000 triangles: 1.44 MB of positions and as much of normals.
  std::string journal = "{\"fn\":\"MaxBeginNode\",\"args\":[\"Grid\",null,true]}\n{\"fn\":\"MaxAddTriangles\",\"args\":[\"M\",40000,[";
  for (int t = 0; t < 40000; ++t) {
    const float x = static_cast<float>(t % 200), y = static_cast<float>(t / 200);
    for (float v : {x, y, 0.0f, x + 1, y, 0.0f, x, y + 1, 0.0f}) {
      journal += std::to_string(std::bit_cast<uint32_t>(v)) + ",";
    }
  }
  journal.pop_back();  // the last comma
  journal += "],null,null,0]}\n{\"fn\":\"Q9EndNode\",\"args\":[]}\n";
  std::string error;
  const std::optional<ReadScene> read = ParseSceneText(journal, error);
  ASSERT_TRUE(read) << error;
  ASSERT_EQ(read->scene.Triangles(), 40000);
  size_t largest = 0;
  std::string joined;
  ASSERT_TRUE(WriteGlb(read->scene, [&](std::string_view bytes) {
    largest = std::max(largest, bytes.size());
    joined += bytes;
    return true;
  }, error)) << error;
  EXPECT_LE(largest, size_t{1} << 20);
  EXPECT_GT(joined.size(), 2 * 1440000u);
  tinygltf::TinyGLTF loader;
  tinygltf::Model model;
  std::string warning;
  ASSERT_TRUE(loader.LoadBinaryFromMemory(&model, &error, &warning,
                                          reinterpret_cast<const unsigned char*>(joined.data()),
                                          static_cast<unsigned>(joined.size()))) << error;
  const tinygltf::Accessor& positions = model.accessors[model.meshes[0].primitives[0].attributes.at("POSITION")];
  EXPECT_EQ(positions.count, 120000u);
  EXPECT_EQ(positions.maxValues, (std::vector<double>{200, 200, 0}));
  const tinygltf::BufferView& view = model.bufferViews[positions.bufferView];
  float last[3];
  std::memcpy(last, model.buffers[0].data.data() + view.byteOffset + view.byteLength - 12, 12);
  EXPECT_EQ(last[0], 199);
  EXPECT_EQ(last[1], 200);
}

TEST_F(ExportTest, TheCommandWritesTheFileAndNamesAFolderThatCannotBeRun) {
  const Result written = Q9x({"export", "--folder", Path(u"samples"), "cameraSync", "-o", Path(u"s.glb")});
  ASSERT_EQ(written.status, 0) << written.err;
  EXPECT_EQ(q9::test::ReadFileBytes(folder.File(u"s.glb")).substr(0, 4), "glTF");
  const Result missing = Q9x({"export", "--folder", Path(u"samples"), "--link", Path(u"none.so"), "-o", Path(u"t.glb")});
  EXPECT_EQ(missing.status, kRendererMissing);
  EXPECT_FALSE(q9::test::FileExists(folder.File(u"t.glb")));
  // A folder that is not there: nothing written, not even the temporary file.
  const Result unwritable = Q9x({"export", "--folder", Path(u"samples"), "cameraSync", "-o", Path(u"none/u.glb")});
  EXPECT_EQ(unwritable.status, kFailed);
  EXPECT_THAT(unwritable.err, ::testing::HasSubstr("cannot write"));
  // Written again over the first file, with no temporary file left beside it.
  ASSERT_EQ(Q9x({"export", "--folder", Path(u"samples"), "cameraSync", "viewsSync", "-o", Path(u"s.glb")}).status, 0);
  EXPECT_FALSE(q9::test::FileExists(folder.File(u"s.glb.part")));
}

}  // namespace
}  // namespace q9x
