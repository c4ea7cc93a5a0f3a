// The start-up load of a large model (loadStartupModel: header, session start, the geometry
// section, one transfer) against one plain read of the same file, with the do-nothing link
// library and with the reference one: grid models of 100 000 solids of 12 triangles (about
// 125 MB: the cost of each solid) and 500 solids of 20 000 triangles (about 1.07 GiB: the cost of
// each byte). With the recording switched on, the load keeps the model: against the load
// without it and a plain copy of the file, on 100 000 small solids and on 500 solids of 26 000
// triangles (about 1.25 GB), the latter also when an earlier session kept the same model; the
// counter "line after ms" is how long after the request its step's line follows. The files are
// written once into the temporary folder ("q9-bench-load"); delete it afterwards.
#include <benchmark/benchmark.h>

#include <chrono>

#include "base/platform.h"
#include "base/recording_switch.h"
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

// An exchange folder beside the grid model's with the same model and the recording switched
// on, with no limit that the model reaches; `recording` receives the recording's folder.
fs::path RecordedExchange(const benchmark::State& state, fs::path& recording) {
  const fs::path model = Exchange(state) / "_model.pdx";
  const fs::path exchange = model.parent_path().string() + "-recorded";
  recording = exchange.string() + "-recording";
  fs::create_directories(exchange);
  if (!fs::exists(exchange / "_model.pdx")) fs::create_symlink(fs::read_symlink(model), exchange / "_model.pdx");
  q9::RecordingSwitch on;
  on.folder = recording.u16string();
  on.maxSize = int64_t{8} << 30;
  std::FILE* file = std::fopen((exchange / "Q9_Recording.json").string().c_str(), "wb");
  std::fputs(q9::RecordingSwitchText(on).c_str(), file);
  std::fclose(file);
  return exchange;
}

// One recorded start-up load; the time until its step's line is written (the model's digest
// made from its copy), which the request does not wait for, is added to `lateSeconds` outside
// the benchmark's time, and the session's folder is then removed. With `linkedTo`, a file of
// two names, the kept model must have become its third.
void LoadKeepingTheModel(benchmark::State& state, const fs::path& exchange, const fs::path& recording,
                         double& lateSeconds, const fs::path& linkedTo = {}) {
  q9::ProcessState process;
  process.exchangeFolder.Fix(exchange.u16string() + u"\\");
  q9::SceneContainer container(process);
  container.session.libraryPath = q9::Utf16FromUtf8(Q9_NULL_LINK_LIBRARY);
  if (!q9::loadStartupModel(container)) state.SkipWithError("the link library did not start");
  benchmark::DoNotOptimize(container.solids.size());
  state.PauseTiming();
  const auto start = std::chrono::steady_clock::now();
  process.recording.WaitForLines();
  lateSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!linkedTo.empty() && fs::hard_link_count(linkedTo) != 3) {
    state.SkipWithError("the unchanged model was not linked");
  }
  fs::remove_all(recording / q9::platform::DisplayPath(process.recording.sessionName()));
  state.ResumeTiming();
}

void LateCounter(benchmark::State& state, double lateSeconds) {
  state.counters["line after ms"] = 1000 * lateSeconds / static_cast<double>(state.iterations());
}

// The load with the recording on, through the do-nothing library: each iteration keeps the
// model anew in a recording of its own.
void LoadRecorded(benchmark::State& state) {
  fs::path recording;
  const fs::path exchange = RecordedExchange(state, recording);
  fs::remove_all(recording);
  double late = 0;
  for (auto _ : state) LoadKeepingTheModel(state, exchange, recording, late);
  fs::remove_all(recording);
  Figures(state, exchange / "_model.pdx");
  LateCounter(state, late);
}

// The load with the recording on when an earlier session kept the same model: each iteration
// keeps it again, and the copy becomes a link to the earlier one once its digest is known. The
// earlier session's copy is a second name of the model itself, which is long on the disk, as an
// earlier session's would be.
void LoadRecordedUnchanged(benchmark::State& state) {
  fs::path recording;
  const fs::path exchange = RecordedExchange(state, recording);
  fs::remove_all(recording);
  double late = 0;
  const fs::path earlierSession = recording / "20000101-000000-1";
  {
    q9::ProcessState process;
    process.exchangeFolder.Fix(exchange.u16string() + u"\\");
    q9::SceneContainer container(process);
    container.session.libraryPath = q9::Utf16FromUtf8(Q9_NULL_LINK_LIBRARY);
    q9::loadStartupModel(container);
    process.recording.WaitForLines();
    fs::rename(recording / q9::platform::DisplayPath(process.recording.sessionName()), earlierSession);
  }
  const fs::path earlier = earlierSession / "0001-startup" / "_model.pdx";
  fs::remove(earlier);
  fs::create_hard_link(fs::canonical(exchange / "_model.pdx"), earlier);
  for (auto _ : state) LoadKeepingTheModel(state, exchange, recording, late, earlier);
  fs::remove_all(recording);
  Figures(state, exchange / "_model.pdx");
  LateCounter(state, late);
}

// What `cp` pays: the file read and written once in blocks of 1 MiB, the copy removed between
// iterations.
void PlainCopy(benchmark::State& state) {
  const fs::path model = Exchange(state) / "_model.pdx";
  const fs::path copy = model.parent_path().string() + "-copy.pdx";
  std::vector<char> buffer(1024 * 1024);
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(copy);
    state.ResumeTiming();
    std::FILE* in = std::fopen(model.string().c_str(), "rb");
    std::FILE* out = std::fopen(copy.string().c_str(), "wb");
    size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) std::fwrite(buffer.data(), 1, got, out);
    std::fclose(in);
    std::fclose(out);
  }
  fs::remove(copy);
  Figures(state, model);
}
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
BENCHMARK(LoadNullLibrary)->Args({100000, 12})->Args({500, 20000})->Args({500, 26000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(LoadRecorded)->Args({100000, 12})->Args({500, 26000})->Unit(benchmark::kMillisecond);
BENCHMARK(LoadRecordedUnchanged)->Args({500, 26000})->Unit(benchmark::kMillisecond);
BENCHMARK(PlainCopy)->Args({100000, 12})->Args({500, 26000})->Unit(benchmark::kMillisecond);
BENCHMARK(LoadReferenceLibrary)->Args({100000, 12})->Args({500, 20000})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
