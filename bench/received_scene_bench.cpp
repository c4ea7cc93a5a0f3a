// q9x summary, view and export on the journals of grid models of 10 000, 100 000 and 1 000 000
// solids of 12 triangles, against a floor: each of the same journal's lines parsed with a JSON
// library (nlohmann::json::parse, the result dropped). Every run is a process of its own, whose
// time and peak resident memory (getrusage of the child) are printed; the table at the end sets
// them against what the tools are held to: summary and view within 3 x the floor, ten times the
// journal at most twelve times the time, summary and view within twice the received triangles'
// bytes plus 64 MiB, export within the size of the .glb it writes plus 64 MiB.
//
// And q9x diff of the journal against a copy with a few changes after its last call (a
// material's colour, a node deleted, one sent again without its mesh, one added), against
// `summary` of each of the two: diff within 2.5 x the two summaries' time added, and within
// their two peaks added plus 64 MiB (each summary holds one scene's names and counts, never its
// positions; so must diff).
//
// The journals are made the real way, once, in the temporary folder ("q9-bench-journal-<solids>"):
// the grid model's container through the start-up load (q9::loadStartupModel) and a camera sync,
// with the reference link library journaling every call. Delete the folders afterwards (the one of
// 1 000 000 solids holds about 4 GB).
//
//   received_scene_bench [--benchmark_filter=/100000$] ...
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/text.h"
#include "bench_files.h"
#include "pack/grid_model.h"
#include "sync/camera_sync.h"
#include "sync/model_sync.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kTriangles = 12;
constexpr double kMiB = 1 << 20;

// --- the grid model ---

// The start-up container of the grid model of `solids` solids at `path`, from the pack library's
// grid generator (boxes of 150 x 150 cm in 200 cm cells), so that a picture of the model shows it.
void BenchContainer(const fs::path& path, int solids) {
  q9x::GridModel model;
  model.solids = static_cast<uint64_t>(solids);
  model.trianglesPerSolid = kTriangles;
  model.project = (path.parent_path() / "Bench.pln").u16string();
  const fs::path partial = path.string() + ".part";
  q9x::WriteGridContainer(model, partial.string());
  fs::rename(partial, path);
}

// A camera above the grid's near corner looking across it.
void WriteCamera(const fs::path& folder, int solids) {
  const double extent = q9x::kGridPitch * std::ceil(std::sqrt(static_cast<double>(solids)));
  std::ofstream(folder / "camera.cam")
      << "Camera_Start\nCamera_Version [1]\nCamera_nType [0]\nCamera__fov [55]\n"
      << "Camera_Name [Bench]\nCamera__from [" << -0.3 * extent << " " << -0.3 * extent << " "
      << 0.5 * extent << "]\nCamera__to [" << 0.5 * extent << " " << 0.5 * extent
      << " 0]\nCamera__up [0 0 1]\nCamera_End\n";
}

// --- runs in processes of their own ---

struct Run {
  double seconds = 0;
  double cpuSeconds = 0;  // user and system time: what a machine shared with other work blurs least
  double peakMiB = 0;
  int status = -1;  // the exit status; -1 when the child did not exit
  bool ok = false;
};

Run InChild(const std::function<void()>& child) {
  std::fflush(stdout);
  const Clock::time_point start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    child();
    std::_Exit(0);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  Run run;
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024;  // KiB on Linux
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.ok = run.status == 0;
  return run;
}

// q9x with its standard output and error thrown away; ok when it exits with `expected`.
Run Q9x(std::vector<std::string> args, int expected = 0) {
  Run run = InChild([&] {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> argv;
    std::string program = Q9X_PROGRAM;
    argv.push_back(program.data());
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(Q9X_PROGRAM, argv.data());
    std::_Exit(127);
  });
  run.ok = run.status == expected;
  return run;
}

struct Journal {
  fs::path folder;
  fs::path file;
  double megabytes = 0;
};

// The journal of the grid model of `solids` solids, made once.
const Journal& JournalOf(int solids) {
  static std::map<int, Journal> journals;
  Journal& journal = journals[solids];
  if (!journal.file.empty()) return journal;
  journal.folder = fs::temp_directory_path() / ("q9-bench-journal-" + std::to_string(solids));
  journal.file = journal.folder / "journal.jsonl";
  if (!fs::exists(journal.file)) {
    fs::create_directories(journal.folder);
    const fs::path container = journal.folder / "_model.pdx";
    if (!fs::exists(container)) BenchContainer(container, solids);
    WriteCamera(journal.folder, solids);
    const fs::path partial = journal.file.string() + ".part";
    fs::remove(partial);
    const Run made = InChild([&] {
      setenv("Q9PLUGIN_JOURNAL", partial.c_str(), 1);
      q9::ProcessState process;
      process.exchangeFolder.Fix(q9::Utf16FromUtf8((journal.folder / "").string()));
      q9::SceneContainer scene(process);
      scene.session.libraryPath = q9::Utf16FromUtf8(Q9_REFERENCE_LINK_LIBRARY);
      if (!q9::loadStartupModel(scene) || !q9::SyncCamera(scene.session, process)) std::_Exit(1);
      std::_Exit(0);
    });
    if (!made.ok) return journal;
    fs::rename(partial, journal.file);
    std::printf("journal of %d solids made in %.1f s\n", solids, made.seconds);
  }
  journal.megabytes = static_cast<double>(fs::file_size(journal.file)) / kMiB;
  return journal;
}

// The journal of `solids` solids and a few changes after its last call, beside it; made once.
fs::path ChangedJournalOf(const Journal& journal, int solids) {
  const fs::path changed = journal.folder / "journal-changed.jsonl";
  if (fs::exists(changed)) return changed;
  const fs::path partial = changed.string() + ".part";
  fs::copy_file(journal.file, partial, fs::copy_options::overwrite_existing);
  const std::string material = q9::Utf8FromUtf16(q9x::GridMaterialOf(0, static_cast<uint64_t>(solids)));
  std::ofstream(partial, std::ios::app | std::ios::binary)
      << R"({"fn":"Q9SetMaterialStringProperty","h":1,"args":[")" << material << R"j(","Diffuse (Color)","#AA0000"]})j" "\n"
      << R"({"fn":"MaxDeleteNode","h":1,"args":["Solid_1"]})" "\n"
      << R"({"fn":"MaxBeginNode","h":1,"args":["Solid_2",[1,0,0,0,0,1,0,0,0,0,1,0,0,0,50,1],true]})" "\n"
      << R"({"fn":"Q9EndNode","h":1,"args":[]})" "\n"
      << R"({"fn":"MaxBeginNode","h":1,"args":["Bench_Added",[1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1],true]})" "\n"
      << R"({"fn":"MaxAddTriangles","h":1,"args":[")" << material
      << R"(",1,[1065353216,0,0,0,1065353216,0,0,0,1065353216],[0],[0],0]})" "\n"
      << R"({"fn":"Q9EndNode","h":1,"args":[]})" "\n";
  fs::rename(partial, changed);
  return changed;
}

// --- the benchmarks ---

struct Figures {
  double seconds = 0;
  double cpuSeconds = 0;
  double peakMiB = 0;
  double outputMiB = 0;
};
std::map<std::string, std::map<int, Figures>> results;  // by what ran, then by solids

void Measure(benchmark::State& state, const char* what, const std::function<Run(const Journal&)>& run,
             const char* output = nullptr) {
  const int solids = static_cast<int>(state.range(0));
  const Journal& journal = JournalOf(solids);
  if (!fs::exists(journal.file)) {
    state.SkipWithError("the journal could not be made");
    return;
  }
  Figures figures{1e30, 1e30, 0, 0};
  for (auto _ : state) {
    const Run one = run(journal);
    if (!one.ok) {
      state.SkipWithError("the run failed");
      return;
    }
    state.SetIterationTime(one.seconds);
    figures.seconds = std::min(figures.seconds, one.seconds);
    figures.cpuSeconds = std::min(figures.cpuSeconds, one.cpuSeconds);
    figures.peakMiB = std::max(figures.peakMiB, one.peakMiB);
  }
  if (output && fs::exists(journal.folder / output)) {
    figures.outputMiB = static_cast<double>(fs::file_size(journal.folder / output)) / kMiB;
    state.counters["out_MiB"] = figures.outputMiB;
  }
  results[what][solids] = figures;
  state.counters["peak_MiB"] = figures.peakMiB;
  state.counters["cpu_s"] = figures.cpuSeconds;
  state.counters["journal_MiB"] = journal.megabytes;
  const auto floor = results["floor"].find(solids);
  if (floor != results["floor"].end() && what != std::string("floor")) {
    state.counters["x_floor"] = figures.seconds / floor->second.seconds;
    state.counters["cpu_x_floor"] = figures.cpuSeconds / floor->second.cpuSeconds;
  }
}

void Floor(benchmark::State& state) {
  Measure(state, "floor", [](const Journal& journal) {
    return InChild([&] {
      std::ifstream in(journal.file, std::ios::binary);
      for (std::string line; std::getline(in, line);) {
        benchmark::DoNotOptimize(nlohmann::json::parse(line));
      }
    });
  });
}

void Summary(benchmark::State& state) {
  Measure(state, "summary", [](const Journal& journal) { return Q9x({"summary", journal.file.string()}); });
}

void View(benchmark::State& state) {
  Measure(
      state, "view",
      [](const Journal& journal) {
        return Q9x({"view", journal.file.string(), "-o", (journal.folder / "view.png").string()});
      },
      "view.png");
}

void Export(benchmark::State& state) {
  Measure(
      state, "export",
      [](const Journal& journal) {
        return Q9x({"export", journal.file.string(), "-o", (journal.folder / "scene.glb").string()});
      },
      "scene.glb");
}

// summary of the journal and of its changed copy, one after the other: their times added, and
// their peaks added (the memory of the two scenes that diff holds at once).
void SummaryPair(benchmark::State& state) {
  const int solids = static_cast<int>(state.range(0));
  Measure(state, "summary x2", [solids](const Journal& journal) {
    Run pair = Q9x({"summary", journal.file.string()});
    const Run second = Q9x({"summary", ChangedJournalOf(journal, solids).string()});
    pair.seconds += second.seconds;
    pair.cpuSeconds += second.cpuSeconds;
    pair.peakMiB += second.peakMiB;
    pair.ok = pair.ok && second.ok;
    return pair;
  });
}

void Diff(benchmark::State& state) {
  const int solids = static_cast<int>(state.range(0));
  Measure(state, "diff", [solids](const Journal& journal) {
    return Q9x({"diff", journal.file.string(), ChangedJournalOf(journal, solids).string()}, 6);
  });
}

// Three runs of each of the smaller journals, one of the largest.
void Small(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)->UseManualTime()->Arg(10000)->Arg(100000)->Iterations(3);
}
void Large(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)->UseManualTime()->Arg(1000000)->Iterations(1);
}

BENCHMARK(Floor)->Apply(Small);
BENCHMARK(Floor)->Apply(Large);
BENCHMARK(Summary)->Apply(Small);
BENCHMARK(Summary)->Apply(Large);
BENCHMARK(View)->Apply(Small);
BENCHMARK(View)->Apply(Large);
BENCHMARK(Export)->Apply(Small);
BENCHMARK(Export)->Apply(Large);
BENCHMARK(SummaryPair)->Apply(Small);
BENCHMARK(SummaryPair)->Apply(Large);
BENCHMARK(Diff)->Apply(Small);
BENCHMARK(Diff)->Apply(Large);

// diff against the two summaries: time within 2.5 x theirs added, peak within their peaks added
// plus 64 MiB; beside it what the two scenes' positions alone would take.
void PrintDiffTargets() {
  std::printf("\n%-8s %8s %9s %9s %9s %9s %9s %9s %13s %7s\n", "run", "solids", "time s", "cpu s", "x 2 summ",
              "cpu x", "peak MiB", "limit MiB", "positions MiB", "within");
  for (const auto& [solids, figures] : results["diff"]) {
    const auto pair = results["summary x2"].find(solids);
    if (pair == results["summary x2"].end()) continue;
    const double ratio = figures.seconds / pair->second.seconds;
    const double cpuRatio = figures.cpuSeconds / pair->second.cpuSeconds;
    const double limit = pair->second.peakMiB + 64;
    const double positions = 2 * 36.0 * kTriangles * solids / kMiB;
    const bool within = std::min(ratio, cpuRatio) <= 2.5 && figures.peakMiB <= limit;
    std::printf("%-8s %8d %9.3f %9.3f %9.2f %9.2f %9.1f %9.1f %13.1f %7s\n", "diff", solids, figures.seconds,
                figures.cpuSeconds, ratio, cpuRatio, figures.peakMiB, limit, positions, within ? "yes" : "NO");
  }
}

// The figures against the targets, in elapsed time and in processor time (on a machine shared
// with other work the latter is the steadier).
void PrintTargets() {
  std::printf("\n%-8s %8s %9s %9s %8s %8s %8s %8s %9s %9s %7s\n", "run", "solids", "time s", "cpu s",
              "x floor", "cpu x", "x /10", "cpu /10", "peak MiB", "limit MiB", "within");
  for (const char* what : {"floor", "summary", "view", "export"}) {
    const std::string name = what;
    const auto& sizes = results[what];
    for (const auto& [solids, figures] : sizes) {
      const auto floor = results["floor"].find(solids);
      const bool floored = floor != results["floor"].end();
      const double ratio = floored ? figures.seconds / floor->second.seconds : 0;
      const double cpuRatio = floored ? figures.cpuSeconds / floor->second.cpuSeconds : 0;
      const auto smaller = sizes.find(solids / 10);
      const bool grown = smaller != sizes.end();
      const double growth = grown ? figures.seconds / smaller->second.seconds : 0;
      const double cpuGrowth = grown ? figures.cpuSeconds / smaller->second.cpuSeconds : 0;
      // What the scene's triangles take as positions: 36 bytes a triangle.
      const double triangles = 36.0 * kTriangles * solids / kMiB;
      const double limit = name == "export" ? figures.outputMiB + 64 : name == "floor" ? 0 : 2 * triangles + 64;
      const bool within = (name == "floor" || name == "export" || std::min(ratio, cpuRatio) <= 3) &&
                          (!grown || std::min(growth, cpuGrowth) <= 12) && (limit == 0 || figures.peakMiB <= limit);
      std::printf("%-8s %8d %9.3f %9.3f %8.2f %8.2f %8.2f %8.2f %9.1f %9.1f %7s\n", what, solids, figures.seconds,
                  figures.cpuSeconds, ratio, cpuRatio, growth, cpuGrowth, figures.peakMiB, limit,
                  within ? "yes" : "NO");
    }
  }
  PrintDiffTargets();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintTargets();
  return 0;
}
