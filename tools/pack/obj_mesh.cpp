#include "pack/obj_mesh.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <sstream>

namespace q9x {

namespace {

using Vec3 = std::array<float, 3>;

struct Corner {
  int64_t position = 0;
  int64_t uv = 0;      // 0: none
  int64_t normal = 0;  // 0: none
};

// A 1-based or negative OBJ index into a list of `size` elements: the 0-based index, or -1.
// (The most negative index has no positive counterpart: compared as it stands.)
int64_t Resolve(int64_t index, size_t size) {
  const int64_t count = static_cast<int64_t>(size);
  if (index > 0 && index <= count) return index - 1;
  if (index < 0 && index >= -count) return count + index;
  return -1;
}

bool ParseCorner(const std::string& token, Corner& corner) {
  // v, v/vt, v//vn, v/vt/vn
  std::array<std::string, 3> parts;
  size_t part = 0;
  for (char c : token) {
    if (c == '/') {
      if (++part > 2) return false;
    } else {
      parts[part] += c;
    }
  }
  try {
    corner.position = std::stoll(parts[0]);
    corner.uv = parts[1].empty() ? 0 : std::stoll(parts[1]);
    corner.normal = parts[2].empty() ? 0 : std::stoll(parts[2]);
  } catch (const std::exception&) {
    return false;
  }
  return corner.position != 0;
}

Vec3 FaceNormal(const Vec3& a, const Vec3& b, const Vec3& c) {
  const Vec3 u{b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const Vec3 v{c[0] - a[0], c[1] - a[1], c[2] - a[2]};
  Vec3 n{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
  const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (length > 0) {
    for (float& x : n) x /= length;
  }
  return n;
}

// The vertices read so far; a face names them by their place in these lists.
struct VertexLists {
  std::vector<Vec3> positions;
  std::vector<std::array<float, 2>> uvs;
  std::vector<Vec3> normals;
};

// Appends the face of `corners` to `mesh` as a fan of triangles; the problem when a corner
// names no vertex, else empty.
std::string AddFace(const std::vector<Corner>& corners, const VertexLists& lists, ObjMesh& mesh) {
  for (size_t i = 1; i + 1 < corners.size(); ++i) {
    const Corner triangle[3] = {corners[0], corners[i], corners[i + 1]};
    Vec3 p[3];
    for (int k = 0; k < 3; ++k) {
      const int64_t index = Resolve(triangle[k].position, lists.positions.size());
      if (index < 0) return "no vertex " + std::to_string(triangle[k].position);
      p[k] = lists.positions[static_cast<size_t>(index)];
    }
    const Vec3 face = FaceNormal(p[0], p[1], p[2]);
    for (int k = 0; k < 3; ++k) {
      mesh.positions.insert(mesh.positions.end(), p[k].begin(), p[k].end());
      const int64_t n =
          triangle[k].normal ? Resolve(triangle[k].normal, lists.normals.size()) : -1;
      const Vec3 normal = n >= 0 ? lists.normals[static_cast<size_t>(n)] : face;
      mesh.normals.insert(mesh.normals.end(), normal.begin(), normal.end());
      const int64_t t = triangle[k].uv ? Resolve(triangle[k].uv, lists.uvs.size()) : -1;
      const std::array<float, 2> uv =
          t >= 0 ? lists.uvs[static_cast<size_t>(t)] : std::array<float, 2>{0, 0};
      mesh.uvs.insert(mesh.uvs.end(), uv.begin(), uv.end());
    }
  }
  return {};
}

// Reads the corners of an "f" line and appends its face; the problem, else empty.
std::string ReadFace(std::istringstream& words, const VertexLists& lists, ObjMesh& mesh) {
  std::vector<Corner> corners;
  std::string token;
  while (words >> token) {
    Corner corner;
    if (!ParseCorner(token, corner)) return "bad face corner \"" + token + "\"";
    corners.push_back(corner);
  }
  return AddFace(corners, lists, mesh);
}

}  // namespace

bool ParseObj(std::string_view text, const std::string& object, ObjMesh& mesh,
              std::string& error) {
  VertexLists lists;
  bool selected = object.empty();
  std::istringstream lines{std::string(text)};
  std::string line;
  size_t lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string keyword;
    words >> keyword;
    if (keyword == "v") {
      Vec3 p{};
      words >> p[0] >> p[1] >> p[2];
      lists.positions.push_back(p);
    } else if (keyword == "vt") {
      std::array<float, 2> t{};
      words >> t[0] >> t[1];
      lists.uvs.push_back(t);
    } else if (keyword == "vn") {
      Vec3 n{};
      words >> n[0] >> n[1] >> n[2];
      lists.normals.push_back(n);
    } else if (keyword == "o" || keyword == "g") {
      std::string name;
      std::getline(words >> std::ws, name);
      if (!object.empty()) selected = name == object;
    } else if (keyword == "f" && selected) {
      const std::string problem = ReadFace(words, lists, mesh);
      if (!problem.empty()) {
        error = "line " + std::to_string(lineNumber) + ": " + problem;
        return false;
      }
    }
  }
  return true;
}

}  // namespace q9x
