// q9x view: drawing 1 000 000 triangles at 1920 x 1080, and writing the PNG. The triangles are
// a wavy grid of 500 x 1000 cells that fills the picture (every triangle a few pixels, several
// layers deep), and the same number scattered as small triangles through a room-sized box.
#include <benchmark/benchmark.h>

#include <cmath>

#include "received/received_scene.h"
#include "picture/scene_render.h"

namespace {

q9x::ReceivedScene Grid(int columns, int rows) {
  q9x::ReceivedScene scene;
  q9x::ReceivedMesh mesh;
  mesh.name = "M";
  auto point = [&](int i, int j) {
    const float x = -400 + 800.0f * i / columns, z = -225 + 450.0f * j / rows;
    return std::array<float, 3>{x, 500 + 20 * std::sin(x * 0.05f) * std::cos(z * 0.05f), z};
  };
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < columns; ++i) {
      for (const auto& corner : {point(i, j), point(i + 1, j), point(i + 1, j + 1),
                                 point(i, j), point(i + 1, j + 1), point(i, j + 1)}) {
        mesh.positions.insert(mesh.positions.end(), corner.begin(), corner.end());
      }
    }
  }
  mesh.triangles = static_cast<int32_t>(mesh.positions.size() / 9);
  scene.nodes.Set("Grid", {}).meshes.push_back(std::move(mesh));
  return scene;
}

q9x::ReceivedScene Scattered(int count) {
  q9x::ReceivedScene scene;
  q9x::ReceivedMesh mesh;
  mesh.name = "M";
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 16777216.0f;
  };
  for (int t = 0; t < count; ++t) {
    const float x = -300 + 600 * next(), y = 100 + 800 * next(), z = -200 + 400 * next();
    for (int k = 0; k < 3; ++k) {
      mesh.positions.insert(mesh.positions.end(), {x + 6 * next(), y + 6 * next(), z + 6 * next()});
    }
  }
  mesh.triangles = count;
  scene.nodes.Set("Scattered", {}).meshes.push_back(std::move(mesh));
  return scene;
}

q9x::ReceivedCamera Camera() {
  q9x::ReceivedCamera camera;
  camera.from = {0, 0, 0};
  camera.to = {0, 1, 0};
  camera.up = {0, 0, 1};
  camera.fov = 82.5f;
  return camera;
}

void Render(benchmark::State& state, const q9x::ReceivedScene& scene) {
  q9x::RenderSettings settings{1920, 1080, "view bench"};
  int64_t drawn = 0;
  for (auto _ : state) {
    q9x::RenderStats stats;
    benchmark::DoNotOptimize(q9x::RenderScene(scene, Camera(), settings, &stats));
    drawn = stats.trianglesDrawn;
  }
  state.counters["triangles"] = static_cast<double>(scene.Triangles());
  state.counters["drawn"] = static_cast<double>(drawn);
}

void BM_RenderGrid(benchmark::State& state) { Render(state, Grid(500, 1000)); }
void BM_RenderScattered(benchmark::State& state) { Render(state, Scattered(1000000)); }
void BM_EncodePng(benchmark::State& state) {
  const q9x::Image image = q9x::RenderScene(Grid(500, 1000), Camera(), {1920, 1080, "view bench"});
  for (auto _ : state) benchmark::DoNotOptimize(q9x::EncodePng(image));
}

}  // namespace

BENCHMARK(BM_RenderGrid)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_RenderScattered)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_EncodePng)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_MAIN();
