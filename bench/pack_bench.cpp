// Packing grid models of 10 000, 100 000 and 1 000 000 solids of 12 triangles (or the sizes on the
// command line) into a file, each in a process of its own: time, container size and peak memory
// (VmHWM). The writer streams, so the peak follows one solid and the solid table, not the file.
//
//   pack_bench [solids...]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pack/grid_model.h"

namespace {

namespace fs = std::filesystem;

double PeakMiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024;
  }
  return -1;
}

void Pack(uint64_t solids, const fs::path& folder) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    const fs::path path = folder / ("grid-" + std::to_string(solids) + ".pdx");
    q9x::GridModel model;
    model.solids = solids;
    const auto start = std::chrono::steady_clock::now();
    q9x::WriteGridContainer(model, path.string());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double mib = static_cast<double>(fs::file_size(path)) / (1 << 20);
    std::printf("%9llu solids  %8.3f s  %8.1f MiB written (%6.1f MiB/s)  peak %6.1f MiB\n",
                static_cast<unsigned long long>(solids), seconds, mib, mib / seconds, PeakMiB());
    fs::remove(path);
    std::fflush(stdout);
    std::_Exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::printf("%llu solids: failed\n", static_cast<unsigned long long>(solids));
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<uint64_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoull(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {10000, 100000, 1000000};
  const fs::path folder = fs::temp_directory_path() / "q9-pack-bench";
  fs::create_directories(folder);
  std::printf("peak of an empty process: %.1f MiB\n", PeakMiB());
  for (const uint64_t solids : sizes) Pack(solids, folder);
  return 0;
}
