// The start-up load of a large model (loadStartupModel: header, session start, the geometry
// section, one transfer) against one plain read of the same file, with the do-nothing link
// library and with the reference one: grid models of 100 000 solids of 12 triangles (about
// 125 MB: the cost of each solid) and 500 solids of 20 000 triangles (about 1.07 GiB: the cost of
// each byte). The files are written once into the temporary folder ("q9-bench-load"); delete it
// afterwards.
#include <benchmark/benchmark.h>

#include "base/text.h"
#include "bench_files.h"
#include "sync/model_sync.h"

namespace {

namespace fs = q9::bench::fs;

// The grid model's exchange folder; its "_model.pdx" is the model.
fs::path Exchange(const benchmark::State& state) {
  return q9::bench::GridExchangeFolder(q9::bench::BenchFolder("load"),
                                       static_cast<uint64_t>(state.range(0)),
                                       static_cast<uint32_t>(state.range(1)));
}

void Figures(benchmark::State& state, const fs::path& model) {
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(model)));
  state.counters["solids/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * state.range(0)), benchmark::Counter::kIsRate);
}

void Load(benchmark::State& state, const char* library) {
  const fs::path exchange = Exchange(state);
  for (auto _ : state) {
    q9::ProcessState process;
    process.exchangeFolder.Fix(exchange.u16string() + u"\\");
    q9::SceneContainer container(process);
    container.session.libraryPath = q9::Utf16FromUtf8(library);
    if (!q9::loadStartupModel(container)) state.SkipWithError("the link library did not start");
    benchmark::DoNotOptimize(container.solids.size());
  }
  Figures(state, exchange / "_model.pdx");
}

void LoadNullLibrary(benchmark::State& state) { Load(state, Q9_NULL_LINK_LIBRARY); }
void LoadReferenceLibrary(benchmark::State& state) { Load(state, Q9_REFERENCE_LINK_LIBRARY); }

// What `cat` pays: the file read through once in blocks of 128 KiB.
void PlainRead(benchmark::State& state) {
  const fs::path model = Exchange(state) / "_model.pdx";
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
