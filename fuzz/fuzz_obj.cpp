// The OBJ reader of the pack command under libFuzzer. The input's first line is the object to
// take ("objObject"; empty: every face), the rest the OBJ file. Checked beyond the sanitizers:
// the three arrays hold the same number of whole triangles.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pack/obj_mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t end = input.find('\n');
  const std::string object(input.substr(0, end));
  const std::string_view text = end == std::string_view::npos ? std::string_view()
                                                               : input.substr(end + 1);
  q9x::ObjMesh mesh;
  std::string error;
  if (!q9x::ParseObj(text, object, mesh, error)) return 0;
  const size_t triangles = mesh.triangles();
  if (mesh.positions.size() != triangles * 9 || mesh.normals.size() != triangles * 9 ||
      mesh.uvs.size() != triangles * 6) {
    std::abort();
  }
  return 0;
}
