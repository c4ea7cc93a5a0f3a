// What reading a damaged container may allocate: no more than the file holds, plus a small
// constant, whatever its counts and lengths claim; and what packing one holds. Every allocation
// of this program is counted.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "pack/container_write.h"
#include "pack/grid_model.h"
#include "scene/geometry_section.h"
#include "scene_fixture.h"

namespace {

std::atomic<size_t> liveBytes{0};
std::atomic<size_t> peakBytes{0};

// Each block carries its size in front, so that delete knows what it frees.
constexpr size_t kPrefix = alignof(std::max_align_t);

void* Allocate(size_t size) {
  void* block = std::malloc(size + kPrefix);
  if (!block) throw std::bad_alloc();
  *static_cast<size_t*>(block) = size;
  const size_t live = liveBytes += size;
  size_t peak = peakBytes.load();
  while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
  }
  return static_cast<char*>(block) + kPrefix;
}

void Free(void* pointer) noexcept {
  if (!pointer) return;
  void* block = static_cast<char*>(pointer) - kPrefix;
  liveBytes -= *static_cast<size_t*>(block);
  std::free(block);
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* pointer) noexcept { Free(pointer); }
void operator delete[](void* pointer) noexcept { Free(pointer); }
void operator delete(void* pointer, size_t) noexcept { Free(pointer); }
void operator delete[](void* pointer, size_t) noexcept { Free(pointer); }

namespace q9 {
namespace {

class MemoryTest : public ::testing::Test {
 protected:
  // The most that was alive at once while `work` ran, beyond what was alive before.
  template <typename Work>
  size_t PeakDuring(Work work) {
    const size_t before = liveBytes.load();
    peakBytes = before;
    work();
    return peakBytes.load() - before;
  }

  test::TempFolder folder;
};

TEST_F(MemoryTest, ClaimsOfHugeCountsAndLengthsCostNoMoreThanTheFile) {
  // Every count and length the format has, at its largest, in one section.
  RawBytes raw;
  raw.Put32(0, 44).Put32(4, 8).Put32(8, 1).Put32(12, 1);
  raw.Put32(20, 2).Put32(24, 32).Put32(28, 32);
  raw.Put32(32, 0x7FFFFFFF);                  // material textBytes
  raw.Put32(44, 0xFFFFFFFF);                  // light table count
  raw.Put32(52, 0xFFFFFFFF);                  // solid table count
  raw.Put32(56, 60).Put32(64, 29);            // solid at 60, mesh list at 93
  raw.Put32(73, 0xFFFFFFFF);                  // first string of the solid
  raw.Put32(93, 1).Put32(97, 101);            // mesh at 101
  raw.Put32(105, 8).Put32(117, 0xFFFFFFFF);   // meshName length
  raw.Grow(60000);
  const json description = {
      {"entries", json::array({{{"name", "P"}, {"changeList", {{"count", 0xFFFFFFFFu}}}},
                               {{"name", "P"}, {"type", 2}, {"hex", raw.Hex()}}})}};
  const std::string bytes = Pack(description);
  const std::u16string path = folder.File(u"huge.sm");
  test::WriteFileBytes(path, bytes);

  ProcessState process;
  process.exchangeFolder.Fix(folder.path() + u"\\");  // the damage warnings go to its log
  SceneContainer container(process);  // no renderer: every call goes to the stand-ins
  container.path = path;
  const size_t peak = PeakDuring([&] {
    container.applyChanges();
    container.loadSection(1);
  });
  EXPECT_LE(peak, bytes.size() + (256u << 10)) << "file of " << bytes.size() << " bytes";
}

TEST_F(MemoryTest, ArraysClaimingMoreThanTheFileAreCut) {
  const json mesh = {{"name", "m"},
                     {"raw", {{"1", {1, 2, 3}}, {"2", {4}}, {"5", {5}}}},
                     {"counts", {{"1", 0x3FFFFFFF}, {"2", 0x3FFFFFFF}, {"5", 0x3FFFFFFF}}}};
  const std::string bytes = Pack({{"entries", json::array({{{"name", "P"},
      {"geometry", {{"solids", json::array({{{"id", 1}, {"meshes", json::array({mesh})}}})}}}}})}});
  const std::u16string path = folder.File(u"arrays.pdx");
  test::WriteFileBytes(path, bytes);
  ProcessState process;
  process.exchangeFolder.Fix(folder.path() + u"\\");
  SceneContainer container(process);
  container.path = path;
  container.loadHeader();
  uint64_t kept = 0;
  GeometryVisitor visitor;
  visitor.mesh = [&](const MeshItem& item) { kept = item.counts[0] + item.counts[1] + item.counts[4]; };
  const size_t peak = PeakDuring([&] { WalkGeometrySection(container.reader, container.entries[0].offset(), visitor); });
  EXPECT_LE(kept * 4, bytes.size());
  EXPECT_LE(peak, bytes.size() + (256u << 10));
}

// Takes the bytes and keeps only their count.
class CountingSink : public q9x::ContainerSink {
 public:
  bool WriteAt(uint64_t at, const void*, size_t size) override {
    length = std::max<uint64_t>(length, at + size);
    return true;
  }
  bool Finish(uint64_t) override { return true; }
  uint64_t length = 0;
};

TEST_F(MemoryTest, PackingHoldsOneSolidAndTheTablesNotTheContainer) {
  q9x::GridModel model;
  model.solids = 20000;
  CountingSink sink;
  const size_t peak = PeakDuring([&] {
    q9x::ContainerPlan plan = q9x::PlanContainer(q9x::GridContainer(model));
    q9x::WriteContainer(plan, sink);
  });
  EXPECT_GT(sink.length, 20000u * 1000);
  // The header, a block of section bytes, the solid table (4 bytes a solid), one solid.
  EXPECT_LE(peak, (4u << 20) + 4 * model.solids) << "container of " << sink.length << " bytes";
}

}  // namespace
}  // namespace q9
