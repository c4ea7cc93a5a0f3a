// One solid of N triangles sent through the reference link library (MaxBeginNode,
// MaxAddTriangles, Q9EndNode), without and with a journal, next to one copy of its mesh arrays:
// the least the sending side pays to have those arrays at all. Without a journal the library
// must cost only a few percent of that copy.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/exchange_folder.h"
#include "base/text.h"
#include "link/link_session.h"

namespace {

namespace fs = std::filesystem;

struct Mesh {
  explicit Mesh(size_t triangles)
      : positions(9 * triangles, 1.5f), normals(9 * triangles, 0.5f), uvs(6 * triangles, 0.25f) {}
  std::vector<float> positions;  // array 1: nine values a triangle
  std::vector<float> normals;    // array 5
  std::vector<float> uvs;        // array 2
};

fs::path BenchFolder() {
  static const fs::path folder = [] {
    fs::path path = fs::temp_directory_path() / "q9-link-bench";
    fs::create_directories(path);
    return path;
  }();
  return folder;
}

// A session on the reference library; the log and the archive go to a private folder.
q9::LinkSession& Session() {
  static q9::LinkSession* session = [] {
    auto* process = new q9::ProcessState;
    process->exchangeFolder.Fix(q9::Utf16FromUtf8((BenchFolder() / "").string()));
    auto* s = new q9::LinkSession(*process);
    s->libraryPath = q9::Utf16FromUtf8(Q9_REFERENCE_LINK_LIBRARY);
    s->modelFilePath = q9::Utf16FromUtf8((BenchFolder() / "model.pln").string());
    if (!s->Initialise()) std::abort();
    return s;
  }();
  return *session;
}

void SendSolid(q9::LinkSession& session, const Mesh& mesh, int32_t triangles) {
  static const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const q9::LinkCalls& f = session.link();
  f.MaxBeginNode(session.handle, u"Solid_1", identity, true);
  f.MaxAddTriangles(session.handle, u"mesh", triangles, mesh.positions.data(), mesh.normals.data(),
                    mesh.uvs.data(), 0);
  f.Q9EndNode(session.handle);
}

void TransferWithoutJournal(benchmark::State& state) {
  unsetenv("Q9PLUGIN_JOURNAL");
  q9::LinkSession& session = Session();
  const Mesh mesh(state.range(0));
  for (auto _ : state) SendSolid(session, mesh, static_cast<int32_t>(state.range(0)));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void TransferWithJournal(benchmark::State& state) {
  const fs::path journal = BenchFolder() / "journal.jsonl";
  setenv("Q9PLUGIN_JOURNAL", journal.c_str(), 1);
  q9::LinkSession& session = Session();
  const Mesh mesh(state.range(0));
  for (auto _ : state) {
    SendSolid(session, mesh, static_cast<int32_t>(state.range(0)));
    state.PauseTiming();
    fs::remove(journal);
    state.ResumeTiming();
  }
  unsetenv("Q9PLUGIN_JOURNAL");
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void CopyMeshArrays(benchmark::State& state) {
  const Mesh mesh(state.range(0));
  Mesh copy(state.range(0));
  for (auto _ : state) {
    std::memcpy(copy.positions.data(), mesh.positions.data(), mesh.positions.size() * 4);
    std::memcpy(copy.normals.data(), mesh.normals.data(), mesh.normals.size() * 4);
    std::memcpy(copy.uvs.data(), mesh.uvs.data(), mesh.uvs.size() * 4);
    benchmark::DoNotOptimize(copy.positions.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(TransferWithoutJournal)->Arg(100)->Arg(10000)->Arg(1000000);
BENCHMARK(CopyMeshArrays)->Arg(100)->Arg(10000)->Arg(1000000);
BENCHMARK(TransferWithJournal)->Arg(100)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
