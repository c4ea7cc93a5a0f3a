// The start-up load of a large model (loadStartupModel: header, session start, the geometry
// section, one transfer) against one plain read of the same file, with the do-nothing link
// library and with the reference one: 100 000 solids of 12 triangles (about 187 MB: the cost of
// each solid) and 500 solids of 20 000 triangles (about 1.34 GiB: the cost of each byte). The
// files are written once into the temporary folder ("q9-bench-load"); delete it afterwards.
#include <benchmark/benchmark.h>

#include "base/text.h"
#include "bench_files.h"
#include "sync/model_sync.h"

namespace {

namespace fs = q9::bench::fs;

fs::path Model(const benchmark::State& state) {
  const fs::path folder = q9::bench::BenchFolder("load");
  const fs::path model =
      q9::bench::WriteModel(folder, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  // The start-up load reads "_model.pdx" of the exchange folder.
  const fs::path exchange = folder / (model.stem().string() + "-folder");
  fs::create_directories(exchange);
  const fs::path link = exchange / "_model.pdx";
  if (!fs::exists(link)) fs::create_symlink(model, link);
  return model;
}

void Figures(benchmark::State& state, const fs::path& model) {
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(model)));
  state.counters["solids/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * state.range(0)), benchmark::Counter::kIsRate);
}

void Load(benchmark::State& state, const char* library) {
  const fs::path model = Model(state);
  const fs::path exchange = model.parent_path() / (model.stem().string() + "-folder");
  for (auto _ : state) {
    q9::ProcessState process;
    process.exchangeFolder.Fix(exchange.u16string() + u"\\");
    q9::SceneContainer container(process);
    container.session.libraryPath = q9::Utf16FromUtf8(library);
    if (!q9::loadStartupModel(container)) state.SkipWithError("the link library did not start");
    benchmark::DoNotOptimize(container.solids.size());
  }
  Figures(state, model);
}

void LoadNullLibrary(benchmark::State& state) { Load(state, Q9_NULL_LINK_LIBRARY); }
void LoadReferenceLibrary(benchmark::State& state) { Load(state, Q9_REFERENCE_LINK_LIBRARY); }

// What `cat` pays: the file read through once in blocks of 128 KiB.
void PlainRead(benchmark::State& state) {
  const fs::path model = Model(state);
  std::vector<char> buffer(128 * 1024);
  for (auto _ : state) {
    std::FILE* file = std::fopen(model.string().c_str(), "rb");
    std::setvbuf(file, nullptr, _IONBF, 0);
    while (std::fread(buffer.data(), 1, buffer.size(), file) > 0) {
    }
    std::fclose(file);
    benchmark::DoNotOptimize(buffer.data());
  }
  Figures(state, model);
}

BENCHMARK(PlainRead)->Args({100000, 12})->Args({500, 20000})->Unit(benchmark::kMillisecond);
BENCHMARK(LoadNullLibrary)->Args({100000, 12})->Args({500, 20000})->Unit(benchmark::kMillisecond);
BENCHMARK(LoadReferenceLibrary)->Args({100000, 12})->Args({500, 20000})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
