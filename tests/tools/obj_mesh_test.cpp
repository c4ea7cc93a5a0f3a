#include "pack/obj_mesh.h"

#include <gmock/gmock.h>

namespace q9x {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(ObjMesh, PolygonsBecomeFansWithFaceNormalsAndZeroUvsWhereTheFileHasNone) {
  ObjMesh mesh;
  std::string error;
  ASSERT_TRUE(ParseObj("v 0 0 0\nv 2 0 0\nv 2 2 0\nv 0 2 0\nf 1 2 3 4\n", "", mesh, error));
  EXPECT_EQ(mesh.triangles(), 2u);
  EXPECT_THAT(mesh.positions, ElementsAre(0, 0, 0, 2, 0, 0, 2, 2, 0, 0, 0, 0, 2, 2, 0, 0, 2, 0));
  EXPECT_THAT(std::vector<float>(mesh.normals.begin(), mesh.normals.begin() + 3), ElementsAre(0, 0, 1));
  EXPECT_EQ(mesh.normals.size(), 18u);
  EXPECT_EQ(mesh.uvs, std::vector<float>(12, 0.0f));
}

TEST(ObjMesh, NegativeIndicesCountFromTheEndAndCornersCarryTheirNormalsAndUvs) {
  ObjMesh mesh;
  std::string error;
  ASSERT_TRUE(ParseObj("v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nvt 0.5 0.25\r\nvn 0 0 -1\r\n"
                       "f -3/1/1 -2/-1/-1 -1//1\r\n",
                       "", mesh, error));
  EXPECT_THAT(mesh.positions, ElementsAre(0, 0, 0, 1, 0, 0, 0, 1, 0));
  EXPECT_THAT(mesh.normals, ElementsAre(0, 0, -1, 0, 0, -1, 0, 0, -1));
  EXPECT_THAT(mesh.uvs, ElementsAre(0.5f, 0.25f, 0.5f, 0.25f, 0, 0));
}

TEST(ObjMesh, OnlyTheNamedObjectIsTakenFromEveryPartOfThatName) {
  const char* text = "v 0 0 0\nv 1 0 0\nv 0 1 0\no legs\nf 1 2 3\no top\nf 1 2 3\nf 1 2 3\ng legs\nf 3 2 1\n";
  ObjMesh legs;
  ObjMesh top;
  std::string error;
  ASSERT_TRUE(ParseObj(text, "legs", legs, error));
  ASSERT_TRUE(ParseObj(text, "top", top, error));
  EXPECT_EQ(legs.triangles(), 2u);
  EXPECT_EQ(top.triangles(), 2u);
}

TEST(ObjMesh, AnIndexThatNamesNoVertexIsAnError) {
  ObjMesh mesh;
  std::string error;
  EXPECT_FALSE(ParseObj("v 0 0 0\nf 1 2 3\n", "", mesh, error));
  EXPECT_THAT(error, HasSubstr("line 2: no vertex 2"));
  EXPECT_FALSE(ParseObj("v 0 0 0\nf 1 x 1\n", "", mesh, error));
  EXPECT_THAT(error, HasSubstr("bad face corner"));
  // The most negative 64-bit index names no vertex either; as a texture coordinate it names
  // none, which reads as zeros.
  EXPECT_FALSE(ParseObj("v 0 0 0\nf 1 1 -9223372036854775808\n", "", mesh, error));
  EXPECT_THAT(error, HasSubstr("no vertex -9223372036854775808"));
  ObjMesh uvs;
  ASSERT_TRUE(ParseObj("v 0 0 0\nvt 1 1\nf 1/-9223372036854775808 1 1\n", "", uvs, error));
  EXPECT_EQ(uvs.uvs, std::vector<float>(6, 0.0f));
}

}  // namespace
}  // namespace q9x
