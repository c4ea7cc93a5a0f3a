// Views sync at scale: "Views.cam" with N saved views read, parsed and sent through SyncViews to
// the do-nothing link library, into an empty scene list (every view new) and into one that
// already holds them (every view matched by name). Both must grow linearly with N.
#include <benchmark/benchmark.h>

#include "base/text.h"
#include "bench_files.h"
#include "sync/views_sync.h"

namespace {

// A started session on the do-nothing library, its exchange folder holding a Views.cam of
// `views` views.
struct ViewsSetup {
  explicit ViewsSetup(int views)
      : folder(q9::bench::BenchFolder("views-" + std::to_string(views))), container(process) {
    q9::bench::WriteViews(folder, views);
    // With its closing separator: the log is the folder text followed by "Q9_Log.log".
    process.exchangeFolder.Fix(folder.u16string() + u"\\");
    container.session.libraryPath = q9::Utf16FromUtf8(Q9_NULL_LINK_LIBRARY);
    container.session.modelFilePath = (folder / "Bench.pln").u16string();
    container.session.Initialise();
  }
  q9::bench::fs::path folder;
  q9::ProcessState process;
  q9::SceneContainer container;
};

void Counters(benchmark::State& state, const ViewsSetup& setup) {
  const auto bytes = static_cast<int64_t>(q9::bench::fs::file_size(setup.folder / "Views.cam"));
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["views/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * state.range(0)), benchmark::Counter::kIsRate);
}

void SyncViewsNew(benchmark::State& state) {
  ViewsSetup setup(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    setup.container.scenes.clear();
    state.ResumeTiming();
    q9::SyncViews(setup.container);
  }
  Counters(state, setup);
}

void SyncViewsMatched(benchmark::State& state) {
  ViewsSetup setup(static_cast<int>(state.range(0)));
  q9::SyncViews(setup.container);
  for (auto _ : state) q9::SyncViews(setup.container);
  Counters(state, setup);
}

// 231 000 views make a Views.cam of about 50 MB.
BENCHMARK(SyncViewsNew)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(231000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(SyncViewsMatched)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(231000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
