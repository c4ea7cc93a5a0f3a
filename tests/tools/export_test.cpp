// `q9x export`: the sample exchange folder's received scene as glTF, read back with tinygltf.
// (The Khronos validator runs on the same export in the test gltf_validator.)
#include "picture/gltf_writer.h"

#include <gmock/gmock.h>

#include <filesystem>

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
    LoadFailure failure{};
    std::optional<ReadScene> read = LoadScene(source, err, failure);
    EXPECT_TRUE(read) << err.str();
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
  // The brick and oak materials carry their maps as images; the others their colour.
  EXPECT_FALSE(model.images.empty());
  EXPECT_EQ(model.images[0].uri.rfind("file:///", 0), 0u) << model.images[0].uri;
}

TEST_F(ExportTest, TheCommandWritesTheFileAndNamesAFolderThatCannotBeRun) {
  const Result written = Q9x({"export", "--folder", Path(u"samples"), "cameraSync", "-o", Path(u"s.glb")});
  ASSERT_EQ(written.status, 0) << written.err;
  EXPECT_EQ(q9::test::ReadFileBytes(folder.File(u"s.glb")).substr(0, 4), "glTF");
  const Result missing = Q9x({"export", "--folder", Path(u"samples"), "--link", Path(u"none.so"), "-o", Path(u"t.glb")});
  EXPECT_EQ(missing.status, kRendererMissing);
  EXPECT_FALSE(q9::test::FileExists(folder.File(u"t.glb")));
}

}  // namespace
}  // namespace q9x
