// The start-up load of a model of many small solids (100 000 solids of 12 triangles unless the
// command line says otherwise) through three link libraries: one whose functions do nothing, the
// reference library without a journal, and the reference library with its journal. Each load
// runs in a process of its own, so that its peak memory (VmHWM) is its own; the raw archive the
// load saves is measured beside it. A plain read of the container file is the floor.
//
//   reference_library_bench [solids [triangles [another library to load the same way]]]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "bench_files.h"
#include "pack/grid_model.h"
#include "scene/scene_container.h"
#include "sync/model_sync.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// "_model.pdx" of a grid model of `solids` solids of one mesh of `triangles` triangles each in its
// own folder; the model's file lies beside it, so the raw archive is written there too.
fs::path ExchangeFolder(int solids, int triangles) {
  const fs::path folder = fs::temp_directory_path() /
                          ("q9-reference-bench-grid-" + std::to_string(solids) + "x" + std::to_string(triangles));
  const fs::path container = folder / "_model.pdx";
  if (fs::exists(container)) return folder;
  fs::create_directories(folder);
  // Streamed: the loads' processes, forked later, do not start with the model in memory.
  q9x::GridModel model;
  model.solids = static_cast<uint64_t>(solids);
  model.trianglesPerSolid = static_cast<uint32_t>(triangles);
  model.project = (folder / "Bench.pln").u16string();
  q9x::WriteGridContainer(model, (folder / "_model.pdx.part").string());
  fs::rename(folder / "_model.pdx.part", container);
  return folder;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The process's peak resident memory in MiB, from /proc/self/status.
double PeakMiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024;
  }
  return -1;
}

// One start-up load in a child process; prints its time, peak memory and archive size.
void Load(const char* label, const fs::path& folder, const char* library, bool journal, double floor) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts from here
    const fs::path archive = folder / "Bench.q9a";
    const fs::path journalFile = folder / "journal.jsonl";
    fs::remove(archive);
    fs::remove(journalFile);
    if (journal) setenv("Q9PLUGIN_JOURNAL", journalFile.c_str(), 1);
    else unsetenv("Q9PLUGIN_JOURNAL");
    q9::ProcessState process;
    process.exchangeFolder.Fix(q9::Utf16FromUtf8((folder / "").string()));
    q9::SceneContainer container(process);
    container.session.libraryPath = q9::Utf16FromUtf8(library);
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const double cpuBefore = static_cast<double>(before.ru_utime.tv_sec + before.ru_stime.tv_sec) +
                             static_cast<double>(before.ru_utime.tv_usec + before.ru_stime.tv_usec) / 1e6;
    const Clock::time_point start = Clock::now();
    if (!q9::loadStartupModel(container)) std::_Exit(1);
    const double seconds = Seconds(start);
    // Processor time of the load alone (less blurred by other work on the machine than the time).
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6 - cpuBefore;
    const double archiveMiB = fs::exists(archive) ? double(fs::file_size(archive)) / (1 << 20) : 0;
    std::printf("%-28s %8.3f s (cpu %6.3f s) %6.2f x read  peak %7.1f MiB  archive %7.1f MiB  solids %zu\n",
                label, seconds, cpu, seconds / floor, PeakMiB(), archiveMiB, container.solids.size());
    std::fflush(stdout);
    std::_Exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::printf("%-28s failed\n", label);
}

}  // namespace

int main(int argc, char** argv) {
  const int solids = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int triangles = argc > 2 ? std::atoi(argv[2]) : 12;
  const fs::path folder = ExchangeFolder(solids, triangles);
  const fs::path container = folder / "_model.pdx";
  q9::bench::PlainReadSeconds(container);  // into the page cache
  const double floor = q9::bench::PlainReadSeconds(container);
  std::printf("%d solids of %d triangles, %.1f MiB; plain read %.3f s\n", solids, triangles,
              double(fs::file_size(container)) / (1 << 20), floor);
  Load("do-nothing library", folder, Q9_NULL_LINK_LIBRARY, false, floor);
  Load("reference, no journal", folder, Q9_REFERENCE_LINK_LIBRARY, false, floor);
  Load("reference, journal", folder, Q9_REFERENCE_LINK_LIBRARY, true, floor);
  if (argc > 3) Load("given library, no journal", folder, argv[3], false, floor);
  return 0;
}
