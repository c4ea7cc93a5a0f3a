// q9x bundle of an exchange folder whose model is large (a grid model of 12 000 solids of 1 212
// triangles, about 1.3 GiB, unless the command line says otherwise): the time and peak memory of
// the q9x process, plain and with --anonymise, against a plain read of the model, and the
// bundle's size. Each bundle is made by the program itself, in a process of its own. Then the
// plain bundle is unpacked as `q9x replay` unpacks one (every bound checked, each member against
// its manifest's SHA-256), in this process: its time and the process's peak memory.
//
//   bundle_bench [solids [triangles]]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_files.h"
#include "bundle/bundle_reader.h"
#include "pack/grid_model.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

fs::path ExchangeFolder(int solids, int triangles) {
  const fs::path folder = q9::bench::BenchFolder("bundle-" + std::to_string(solids) + "x" +
                                                 std::to_string(triangles));
  const fs::path container = folder / "_model.pdx";
  if (fs::exists(container)) return folder;
  q9x::GridModel model;
  model.solids = static_cast<uint64_t>(solids);
  model.trianglesPerSolid = static_cast<uint32_t>(triangles);
  q9x::WriteGridContainer(model, (folder / "_model.pdx.part").string());
  fs::rename(folder / "_model.pdx.part", container);
  q9::bench::WriteViews(folder, 100);
  return folder;
}

// One q9x bundle in a process of its own: its time, peak memory and the bundle's size. The
// bundle is kept when `keep` says so.
void Bundle(const char* label, const fs::path& folder, bool anonymise, double floor, bool keep = false) {
  const fs::path output = folder.parent_path() / (folder.filename().string() + ".zip");
  fs::remove(output);
  std::vector<std::string> args = {Q9X_PROGRAM, "bundle", "--folder", folder.string(), "-o",
                                   output.string()};
  if (anonymise) args.push_back("--anonymise");
  std::fflush(stdout);
  const Clock::time_point start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (!freopen("/dev/null", "w", stdout)) std::_Exit(127);
    execv(argv[0], argv.data());
    std::_Exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  const double seconds = Seconds(start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::printf("%-22s failed (status %d)\n", label, WEXITSTATUS(status));
    return;
  }
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::printf("%-22s %8.2f s (cpu %7.2f s) %6.1f x read  peak %7.1f MiB  bundle %7.1f MiB\n", label,
              seconds, cpu, seconds / floor, static_cast<double>(usage.ru_maxrss) / 1024,
              static_cast<double>(fs::file_size(output)) / (1 << 20));
  if (!keep) fs::remove(output);
  fs::remove(output.string() + ".names.json");
}

void Unpack(const fs::path& bundle, double floor) {
  const fs::path folder = bundle.parent_path() / (bundle.stem().string() + "-unpacked");
  fs::remove_all(folder);
  const Clock::time_point start = Clock::now();
  const q9x::Outcome<q9x::bundle::Unpacked> unpacked = q9x::bundle::UnpackBundle(bundle.string(), folder.string(), 0);
  const double seconds = Seconds(start);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  if (!unpacked) {
    std::printf("%-22s failed: %s\n", "unpack", unpacked.failure().reason.c_str());
  } else {
    std::printf("%-22s %8.2f s %17s %6.1f x read  peak %7.1f MiB  %zu members, %7.1f MiB\n", "unpack", seconds, "",
                seconds / floor, static_cast<double>(usage.ru_maxrss) / 1024, unpacked->written.size(),
                static_cast<double>(unpacked->bytes) / (1 << 20));
  }
  fs::remove_all(folder);
  fs::remove(bundle);
}

}  // namespace

int main(int argc, char** argv) {
  const int solids = argc > 1 ? std::atoi(argv[1]) : 12000;
  const int triangles = argc > 2 ? std::atoi(argv[2]) : 1212;
  const fs::path folder = ExchangeFolder(solids, triangles);
  const fs::path container = folder / "_model.pdx";
  q9::bench::PlainReadSeconds(container);  // into the page cache
  const double floor = q9::bench::PlainReadSeconds(container);
  std::printf("%d solids of %d triangles, %.1f MiB; plain read %.3f s\n", solids, triangles,
              static_cast<double>(fs::file_size(container)) / (1 << 20), floor);
  Bundle("bundle --anonymise", folder, true, floor);
  Bundle("bundle", folder, false, floor, true);
  Unpack(folder.parent_path() / (folder.filename().string() + ".zip"), floor);
  return 0;
}
