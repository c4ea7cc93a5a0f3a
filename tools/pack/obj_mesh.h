// Wavefront OBJ files as mesh arrays for the pack command.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace q9x {

// A triangle mesh in the arrays a container carries: array 1 the three corner positions of each
// triangle (9 floats), array 5 the corner normals (9 floats; the face normal where the file gives
// none), array 2 the corner texture coordinates (6 floats; zeros where the file gives none).
struct ObjMesh {
  std::vector<float> positions;  // array 1
  std::vector<float> normals;    // array 5
  std::vector<float> uvs;        // array 2
  size_t triangles() const { return positions.size() / 9; }
};

// Reads "v", "vt", "vn" and "f" lines (polygons become fans of triangles; indices may be
// negative, counted from the end). With `object` not empty only the faces after an "o" or "g"
// line of that name are taken. Other lines are ignored. An index that names no vertex is an
// error: false, with `error` saying which line.
// Any text is safe; the arrays grow by at most 48 bytes per byte of it (a corner takes two).
bool ParseObj(std::string_view text, const std::string& object, ObjMesh& mesh, std::string& error);

}  // namespace q9x
