// Large inputs for the benchmarks, written straight to a file: saved views files, and containers
// of many solids on a grid from the pack library's streaming writer.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "pack/grid_model.h"

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

// "grid-<solids>x<triangles>.pdx" in `folder`: a start-up container of `solids` boxes standing
// on a grid with real coordinates, each one mesh of `triangles` triangles, in four materials
// (pack/grid_model.h), project "<folder>/Bench.pln". Written once, streaming: packing a million
// solids holds a few MiB.
inline fs::path WriteGridModel(const fs::path& folder, uint64_t solids, uint32_t triangles = 12) {
  const fs::path path = folder / ("grid-" + std::to_string(solids) + "x" +
                                  std::to_string(triangles) + ".pdx");
  if (fs::exists(path)) return path;
  const fs::path partial = path.string() + ".part";
  q9x::GridModel model;
  model.solids = solids;
  model.trianglesPerSolid = triangles;
  model.project = (folder / "Bench.pln").u16string();
  q9x::WriteGridContainer(model, partial.string());
  fs::rename(partial, path);
  return path;
}

// An exchange folder "grid-<solids>x<triangles>" in `folder` whose "_model.pdx" is the grid
// model of WriteGridModel (linked, not copied): what the start-up load reads. The project path
// of the model is "<folder>/Bench.pln", so a raw archive lands in `folder`.
inline fs::path GridExchangeFolder(const fs::path& folder, uint64_t solids, uint32_t triangles = 12) {
  const fs::path model = WriteGridModel(folder, solids, triangles);
  const fs::path exchange = folder / model.stem();
  fs::create_directories(exchange);
  const fs::path link = exchange / "_model.pdx";
  if (!fs::exists(link)) fs::create_symlink(model, link);
  return exchange;
}

// Seconds for one plain read of the whole file in blocks of 1 MiB: the floor that a benchmark
// measures a command against.
inline double PlainReadSeconds(const fs::path& file) {
  const auto start = std::chrono::steady_clock::now();
  std::FILE* in = std::fopen(file.string().c_str(), "rb");
  std::vector<char> buffer(1 << 20);
  while (in && std::fread(buffer.data(), 1, buffer.size(), in) > 0) {
  }
  if (in) std::fclose(in);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace q9::bench
