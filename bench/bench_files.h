// Large inputs for the benchmarks, written straight to a file (a packed description would not
// fit in memory at these sizes): saved views files and containers of many equal solids.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "scene/scene_container.h"

namespace q9::bench {

namespace fs = std::filesystem;

// A folder of the benchmarks' files under the system's temporary folder.
inline fs::path BenchFolder(const std::string& name) {
  const fs::path folder = fs::temp_directory_path() / ("q9-bench-" + name);
  fs::create_directories(folder);
  return folder;
}

// "Views.cam" in `folder` with `views` saved views named "View 0", "View 1", ..., the second one
// active; written once.
inline fs::path WriteViews(const fs::path& folder, int views) {
  const fs::path path = folder / "Views.cam";
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  std::fprintf(file, "Cameras_Start\nCameras_Version [1]\nCameras_nActCamera [1]\n");
  for (int i = 0; i < views; ++i) {
    std::fprintf(file,
                 "Cameras_Camera_ObjectSTART\nCamera_Start\nCamera_Version [1]\nCamera_nType [0]\n"
                 "Camera__fov [60]\nCamera_Name [View %d]\nCamera__from [%d -600 160]\n"
                 "Camera__to [250 200 120]\nCamera__up [0 0 1]\nCamera_End\n"
                 "Cameras_Camera_ObjectEND\n",
                 i, i % 1000);
  }
  std::fprintf(file, "Cameras_End\n");
  std::fclose(file);
  return path;
}

class Writer {
 public:
  explicit Writer(std::FILE* file) : file_(file) {}
  void Int(int32_t value) { std::fwrite(&value, 4, 1, file_); }
  void Byte(uint8_t value) { std::fwrite(&value, 1, 1, file_); }
  void Text(const std::u16string& text) {
    Int(static_cast<int32_t>(text.size()));
    std::fwrite(text.data(), 2, text.size(), file_);
  }
  void Words(const std::vector<uint32_t>& words) {
    Int(static_cast<int32_t>(words.size()));
    std::fwrite(words.data(), 4, words.size(), file_);
  }
  void Zeros(size_t bytes) {
    static const char zeros[4096] = {};
    for (; bytes > 0; bytes -= std::min(bytes, sizeof zeros)) {
      std::fwrite(zeros, 1, std::min(bytes, sizeof zeros), file_);
    }
  }

 private:
  std::FILE* file_;
};

// A start-up container "model-<solids>x<triangles>.pdx" in `folder`: one geometry section of
// `solids` solids, each one mesh of `triangles` triangles (arrays 1 and 5 of nine values a
// triangle, arrays 2, 3 and 4 of six), project "<folder>/Bench.pln". Written once.
inline fs::path WriteModel(const fs::path& folder, int solids, int triangles) {
  const fs::path path = folder / ("model-" + std::to_string(solids) + "x" +
                                  std::to_string(triangles) + ".pdx");
  if (fs::exists(path)) return path;
  const fs::path partial = path.string() + ".part";
  std::FILE* file = std::fopen(partial.string().c_str(), "wb");
  Writer out(file);
  const std::u16string project = (folder / "Bench.pln").u16string();
  // Header: four int32, the name block, the last entry index, the directory.
  out.Int(0);
  out.Int(kContainerHeaderSize);
  out.Int(1);
  out.Int(0);
  out.Zeros(1024);
  out.Int(0);
  std::vector<uint8_t> entry(kDirectoryEntrySize, 0);
  for (size_t i = 0; i < project.size() && i < 1027; ++i) {
    entry[2 * i] = static_cast<uint8_t>(project[i]);
    entry[2 * i + 1] = static_cast<uint8_t>(project[i] >> 8);
  }
  const int32_t type = static_cast<int32_t>(SectionType::Geometry);
  const int32_t base = kContainerHeaderSize;
  std::memcpy(&entry[2056], &type, 4);
  std::memcpy(&entry[2060], &base, 4);
  std::fwrite(entry.data(), 1, entry.size(), file);
  out.Zeros((kDirectoryEntries - 1) * kDirectoryEntrySize);

  const std::u16string meshName = u"M_Oak";
  const std::u16string note = u"x";
  const std::vector<uint32_t> nine(9 * static_cast<size_t>(triangles), 0x3F800000);
  const std::vector<uint32_t> six(6 * static_cast<size_t>(triangles), 0x3E800000);
  const std::vector<uint32_t> none;
  // Offsets from the section start: header 20, the solid table, then the solids.
  const int64_t table = 20;
  const int64_t meshHeader = 4 + 4 + 4 + 4 + (4 + 2 * meshName.size()) + (4 + 2 * note.size());
  const int64_t meshBytes = meshHeader + 8 * 4 + 4 * (2 * nine.size() + 3 * six.size());
  const int64_t solidHeader = 4 + 4 + 1 + 4 + (4 + 2) + 4 + 4 + 4 + (4 + 2);
  const int64_t solidBytes = solidHeader + 4 + 4 + meshBytes;
  const int64_t first = table + 4 + 4 * static_cast<int64_t>(solids);
  out.Int(0);  // materialBlockEnd
  out.Int(0);  // lightBlockSpan
  out.Int(1);  // solidBlockSize
  out.Int(0);  // viewBlockSize
  out.Int(0);
  out.Int(solids);
  for (int i = 0; i < solids; ++i) out.Int(static_cast<int32_t>(first + i * solidBytes));
  for (int i = 0; i < solids; ++i) {
    const int64_t at = first + i * solidBytes;
    out.Int(0);
    out.Int(static_cast<int32_t>(solidHeader - 4));
    out.Byte(0);
    out.Int(i);  // time stamp
    out.Text(note);
    out.Int(0);
    out.Int(0);
    out.Int(i + 1);  // solid id
    out.Text(note);
    out.Int(1);
    out.Int(static_cast<int32_t>(at + solidHeader + 8));
    out.Int(0);
    out.Int(static_cast<int32_t>(meshHeader - 4));
    out.Int(0);
    out.Int(0);
    out.Text(meshName);
    out.Text(note);
    out.Words(nine);  // 1
    out.Words(six);   // 2
    out.Words(six);   // 3
    out.Words(six);   // 4
    out.Words(nine);  // 5
    out.Words(none);
    out.Words(none);
    out.Words(none);
  }
  std::fclose(file);
  fs::rename(partial, path);
  return path;
}

}  // namespace q9::bench
