#include "pack/grid_model.h"

#include <cmath>
#include <cstring>

#include "base/text.h"
#include "pack/container_write.h"

namespace q9x {

namespace {

namespace layout = q9::container;

struct GridMaterial {
  const char16_t* name;
  const char* text;
};

const GridMaterial kMaterials[] = {
    {u"Grid_Clay", "TypeNat 2\nVer 3\nInterfaceName [Clay]\nMaterialID_Name [Grid_Clay]\n"
                   "Diffuse 0.78 0.42 0.3\nRoughness 0.8\nTransparent 0\n_nMatDescIndex [1]\n"
                   "nTimeID [1]\n"},
    {u"Grid_Slate", "TypeNat 2\nVer 3\nInterfaceName [Slate]\nMaterialID_Name [Grid_Slate]\n"
                    "Diffuse 0.33 0.38 0.48\nRoughness 0.6\nTransparent 0\n_nMatDescIndex [2]\n"
                    "nTimeID [2]\n"},
    {u"Grid_Moss", "TypeNat 2\nVer 3\nInterfaceName [Moss]\nMaterialID_Name [Grid_Moss]\n"
                   "Diffuse 0.4 0.58 0.3\nRoughness 0.9\nTransparent 0\n_nMatDescIndex [3]\n"
                   "nTimeID [3]\n"},
    {u"Grid_Sand", "TypeNat 2\nVer 3\nInterfaceName [Sand]\nMaterialID_Name [Grid_Sand]\n"
                   "Diffuse 0.86 0.8 0.6\nRoughness 0.7\nTransparent 0\n_nMatDescIndex [4]\n"
                   "nTimeID [4]\n"},
};
constexpr uint64_t kMaterialCount = sizeof kMaterials / sizeof kMaterials[0];

uint64_t Side(uint64_t solids) {
  uint64_t side = static_cast<uint64_t>(std::sqrt(static_cast<double>(solids)));
  while (side * side < solids) ++side;
  while (side > 1 && (side - 1) * (side - 1) >= solids) --side;
  return side == 0 ? 1 : side;
}

struct Point {
  double x, y, z;
};

uint32_t Bits(double value) {
  const float single = static_cast<float>(value);
  uint32_t bits;
  std::memcpy(&bits, &single, 4);
  return bits;
}

// Appends the arrays of one box face, a quad a b c d seen counter-clockwise from outside, as
// `strips` strips from a-d to b-c; `across` and `up` are its lengths (a to b, b to c).
class FaceWriter {
 public:
  FaceWriter(std::vector<uint32_t>& positions, std::vector<uint32_t>& normals,
             std::vector<uint32_t>& uvs)
      : positions_(positions), normals_(normals), uvs_(uvs) {}

  void Quad(const Point& a, const Point& b, const Point& c, const Point& d, const Point& normal,
            double across, double up, uint64_t strips = 1) {
    for (uint64_t k = 0; k < strips; ++k) {
      const double t0 = static_cast<double>(k) / static_cast<double>(strips);
      const double t1 = static_cast<double>(k + 1) / static_cast<double>(strips);
      const Point p0 = Along(a, b, t0), p1 = Along(a, b, t1);
      const Point p2 = Along(d, c, t1), p3 = Along(d, c, t0);
      // Texture coordinates in metres along the face.
      const double u0 = t0 * across / 100, u1 = t1 * across / 100, v = up / 100;
      Triangle({p0, p1, p2}, {u0, 0, u1, 0, u1, v}, normal);
      Triangle({p0, p2, p3}, {u0, 0, u1, v, u0, v}, normal);
    }
  }

 private:
  static Point Along(const Point& from, const Point& to, double t) {
    return {from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t,
            from.z + (to.z - from.z) * t};
  }
  void Triangle(const std::array<Point, 3>& corners, const std::array<double, 6>& uv,
                const Point& normal) {
    for (const Point& p : corners) {
      positions_.insert(positions_.end(), {Bits(p.x), Bits(p.y), Bits(p.z)});
      normals_.insert(normals_.end(), {Bits(normal.x), Bits(normal.y), Bits(normal.z)});
    }
    for (const double value : uv) uvs_.push_back(Bits(value));
  }

  std::vector<uint32_t>& positions_;
  std::vector<uint32_t>& normals_;
  std::vector<uint32_t>& uvs_;
};

}  // namespace

GridBox GridBoxOf(uint64_t index, uint64_t solids) {
  const uint64_t side = Side(solids);
  const uint64_t column = index % side;
  const uint64_t row = index / side;
  GridBox box;
  box.x = static_cast<double>(column) * kGridPitch;
  box.y = static_cast<double>(row) * kGridPitch;
  box.height = 50.0 + 50.0 * static_cast<double>((column * 7 + row * 13) % 6);
  return box;
}

std::u16string GridMaterialOf(uint64_t index, uint64_t solids) {
  const uint64_t side = Side(solids);
  return kMaterials[(index % side + index / side) % kMaterialCount].name;
}

GridSolids::GridSolids(const GridModel& model) : model_(model) {
  if (model.trianglesPerSolid < 12 || model.trianglesPerSolid % 2 != 0) {
    throw PackError("a grid solid has 12 triangles, or more in steps of 2, not " +
                    std::to_string(model.trianglesPerSolid));
  }
}

bool GridSolids::Solid(uint64_t index, SolidValues& solid) {
  solid = SolidValues();
  solid.id = static_cast<uint32_t>(index + 1);
  solid.timeStamp = static_cast<uint32_t>(index);
  MeshValues& mesh = solid.meshes.emplace_back().emplace();
  mesh.name = GridMaterialOf(index, model_.solids);

  const GridBox box = GridBoxOf(index, model_.solids);
  const double x0 = box.x, x1 = box.x + box.width, y0 = box.y, y1 = box.y + box.depth;
  const double h = box.height;
  const uint64_t triangles = model_.trianglesPerSolid;
  std::vector<uint32_t>& positions = mesh.arrays[layout::kPositionsArray];
  std::vector<uint32_t>& normals = mesh.arrays[layout::kNormalsArray];
  std::vector<uint32_t>& uvs = mesh.arrays[layout::kTextureCoordinatesArray];
  positions.reserve(triangles * layout::kValuesPerTriangle);
  normals.reserve(triangles * layout::kValuesPerTriangle);
  uvs.reserve(triangles * layout::kTextureValuesPerTriangle);
  FaceWriter faces(positions, normals, uvs);
  // The top takes what the other five faces (two triangles each) leave.
  faces.Quad({x0, y0, h}, {x1, y0, h}, {x1, y1, h}, {x0, y1, h}, {0, 0, 1}, box.width, box.depth,
             (triangles - 10) / 2);
  faces.Quad({x0, y0, 0}, {x0, y1, 0}, {x1, y1, 0}, {x1, y0, 0}, {0, 0, -1}, box.depth, box.width);
  faces.Quad({x0, y0, 0}, {x1, y0, 0}, {x1, y0, h}, {x0, y0, h}, {0, -1, 0}, box.width, h);
  faces.Quad({x1, y1, 0}, {x0, y1, 0}, {x0, y1, h}, {x1, y1, h}, {0, 1, 0}, box.width, h);
  faces.Quad({x0, y1, 0}, {x0, y0, 0}, {x0, y0, h}, {x0, y1, h}, {-1, 0, 0}, box.depth, h);
  faces.Quad({x1, y0, 0}, {x1, y1, 0}, {x1, y1, h}, {x1, y0, h}, {1, 0, 0}, box.depth, h);
  return true;
}

ContainerContent GridContainer(const GridModel& model) {
  GeometryContent geometry;
  auto& materials = geometry.materials.emplace();
  for (const GridMaterial& material : kMaterials) {
    materials.push_back({ItemText{q9::Utf16FromUtf8(material.text), {}}, std::nullopt});
  }
  geometry.solids = std::make_shared<GridSolids>(model);
  ContainerContent content;
  content.name = u"Grid";
  EntryContent& entry = content.entries.emplace_back();
  entry.name = model.project;
  entry.section = std::move(geometry);
  return content;
}

void WriteGridContainer(const GridModel& model, const std::string& path) {
  ContainerPlan plan = PlanContainer(GridContainer(model));
  WriteContainerToFile(plan, path);
}

}  // namespace q9x
