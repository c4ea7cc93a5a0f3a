// Reading a geometry section: a model of N solids, each with one mesh of T triangles, loaded
// through the scene container with no renderer attached (every link call a stand-in), next to
// one plain read of the same file: the least any reader pays to have those bytes at all.
// The container's bounds checks and its one-read-per-array rule must keep it close to that.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "base/platform.h"
#include "base/text.h"
#include "bench_files.h"
#include "scene/scene_container.h"

namespace {

namespace fs = std::filesystem;

// The grid model of `solids` solids of `triangles` triangles each, written once per shape.
std::u16string Model(int solids, int triangles) {
  const fs::path folder = fs::temp_directory_path() / "q9-scene-bench";
  fs::create_directories(folder);
  return q9::bench::WriteGridModel(folder, static_cast<uint64_t>(solids),
                                   static_cast<uint32_t>(triangles))
      .u16string();
}

void LoadSection(benchmark::State& state) {
  q9::ProcessState process;
  q9::SceneContainer container(process);
  container.path = Model(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    container.solids.clear();
    container.loadSection(0);
    benchmark::DoNotOptimize(container.solids.size());
  }
  const int64_t bytes = static_cast<int64_t>(fs::file_size(q9::platform::DisplayPath(container.path)));
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["solids/s"] = benchmark::Counter(static_cast<double>(state.iterations() * state.range(0)),
                                                  benchmark::Counter::kIsRate);
}

void PlainRead(benchmark::State& state) {
  const std::u16string path = Model(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  std::vector<char> buffer(1 << 20);
  int64_t bytes = 0;
  for (auto _ : state) {
    q9::platform::UniqueFile file = q9::platform::OpenFile(path, "rb");
    size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) bytes += static_cast<int64_t>(got);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(bytes);
}

// Many small solids (table and item overhead), and few large meshes (array reads).
BENCHMARK(LoadSection)->Args({10000, 12})->Args({200, 20000})->Unit(benchmark::kMillisecond);
BENCHMARK(PlainRead)->Args({10000, 12})->Args({200, 20000})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
