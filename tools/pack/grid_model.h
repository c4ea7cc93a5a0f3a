// Models of many boxes on a square grid, for benchmarks and tests: real coordinates (centimetres,
// z up), each solid one mesh of a box standing in its grid cell, with corner normals and texture
// coordinates, coloured by one of four materials, so that a picture of the model shows it. The
// solids are made one at a time while the container is written, so a model of a million solids
// needs no description of a million entries.
#pragma once

#include <cstdint>
#include <string>

#include "pack/container_plan.h"

namespace q9x {

struct GridModel {
  uint64_t solids = 0;
  // 12 (a box), or 12 + 2k: the box's top split into 1 + k strips.
  uint32_t trianglesPerSolid = 12;
  std::u16string project = u"C:\\Projects\\Grid\\Grid.pln";  // the geometry entry's name
};

constexpr double kGridPitch = 200;    // from one cell's corner to the next
constexpr double kGridBoxSide = 150;  // a box's width and depth

// Where the box of solid `index` stands: the cells fill rows of ceil(sqrt(solids)) along x, row
// after row along y; heights vary from 50 to 300.
struct GridBox {
  double x = 0, y = 0;  // the corner nearest the origin, on the ground (z = 0)
  double width = kGridBoxSide, depth = kGridBoxSide, height = 0;
};
GridBox GridBoxOf(uint64_t index, uint64_t solids);

// The material of solid `index`'s mesh (its mesh name): "Grid_Clay", "Grid_Slate", "Grid_Moss" or
// "Grid_Sand", in diagonal stripes across the grid.
std::u16string GridMaterialOf(uint64_t index, uint64_t solids);

// The solids: solid `index` has id index + 1, time stamp index, and one mesh of its box. Arrays 1
// and 5 hold nine values per triangle (corner positions, corner normals), array 2 six (texture
// coordinates in metres along the face).
class GridSolids : public SolidSource {
 public:
  explicit GridSolids(const GridModel& model);
  uint64_t count() const override { return model_.solids; }
  bool Solid(uint64_t index, SolidValues& solid) override;

 private:
  GridModel model_;
};

// The start-up container "_model.pdx" of the model: one geometry section with the four materials
// and the solids. PackError for a triangle count other than 12 + 2k.
ContainerContent GridContainer(const GridModel& model);

// Writes the model's container to `path` (UTF-8), streaming: memory stays near one solid and the
// solid table. PackError or SinkError; a file that a failed write left behind is removed.
void WriteGridContainer(const GridModel& model, const std::string& path);

}  // namespace q9x
