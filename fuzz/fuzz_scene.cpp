#include "fuzz_scene.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>

#include "base/text.h"
#include "fuzz_input.h"
#include "sync/model_sync.h"

namespace q9::fuzz {

namespace {

std::vector<uint8_t> ReadBuilt(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "%s is missing: build the fuzz preset first\n", path.c_str());
    __builtin_trap();
  }
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

std::vector<uint8_t> ReadSample(const char* name) {
  return ReadBuilt(std::string(Q9_SAMPLES_DIR) + "/" + name);
}

std::vector<uint8_t> ReadSeedSections() { return ReadBuilt(Q9_SEED_SECTIONS); }

std::vector<uint8_t> HeaderOf(const std::vector<uint8_t>& file) {
  std::vector<uint8_t> header(kContainerHeaderSize, 0);
  std::copy_n(file.begin(), std::min(file.size(), header.size()), header.begin());
  return header;
}

void SetEntry(std::vector<uint8_t>& header, size_t index, int32_t type, int32_t offset) {
  uint8_t* entry = header.data() + container::kDirectoryAt + index * container::kEntrySize;
  container::StoreInt32(entry + container::kEntryTypeAt, type);
  container::StoreInt32(entry + container::kEntryOffsetAt, offset);
}

void SetLastEntryIndex(std::vector<uint8_t>& header, int32_t index) {
  container::StoreInt32(header.data() + container::kLastEntryIndexAt, index);
}

TailFile::TailFile(std::vector<uint8_t> front) : frontSize_(front.size()) {
  Reserve(64 * 1024);
  std::memcpy(bytes_.get(), front.data(), frontSize_);
}

TailFile::~TailFile() {
  // Handed back to the allocator as it was handed out.
  if (bytes_) ASAN_UNPOISON_MEMORY_REGION(bytes_.get(), capacity_);
}

void TailFile::Reserve(size_t tailBytes) {
  // A whole number of the sanitizer's 8-byte granules, so that the poisoned bytes reach the end.
  const size_t capacity = (frontSize_ + tailBytes + 7) / 8 * 8;
  auto bytes = std::make_unique_for_overwrite<uint8_t[]>(capacity);
  if (bytes_) {
    std::memcpy(bytes.get(), bytes_.get(), frontSize_);
    ASAN_UNPOISON_MEMORY_REGION(bytes_.get(), capacity_);
  }
  bytes_ = std::move(bytes);
  capacity_ = capacity;
}

std::span<const uint8_t> TailFile::With(std::initializer_list<std::span<const uint8_t>> parts) {
  size_t tail = 0;
  for (const auto& part : parts) tail += part.size();
  if (tail > capacity_ - frontSize_) Reserve(std::max(tail, 2 * (capacity_ - frontSize_)));
  uint8_t* end = bytes_.get() + frontSize_;
  ASAN_UNPOISON_MEMORY_REGION(end, capacity_ - frontSize_);
  for (const auto& part : parts) {
    if (part.empty()) continue;
    std::memcpy(end, part.data(), part.size());
    end += part.size();
  }
  ASAN_POISON_MEMORY_REGION(end, static_cast<size_t>(bytes_.get() + capacity_ - end));
  return {bytes_.get(), frontSize_ + tail};
}

std::span<const uint8_t> ExpandInto(TailFile& file, std::span<const uint8_t> input,
                                    std::span<const uint8_t> after) {
  const size_t kept = std::min(input.size(), kKeptHeaderBytes);
  const std::span<uint8_t> front = file.front();
  if (kept > 0) std::memcpy(front.data(), input.data(), kept);
  std::memset(front.data() + kept, 0, kKeptHeaderBytes - kept);
  return file.With({input.subspan(kept), after});
}

ExchangeFolder NoFolder() {
  ExchangeFolder folder([](const std::u16string&, size_t) { return std::nullopt; },
                        [](const std::u16string&, const std::u16string&, uint32_t) {
                          return std::optional<std::u16string>();
                        });
  folder.Fix(u"/nonexistent-q9-fuzz");
  return folder;
}

void Silence(ProcessState& process) {
  process.log = LogWriter::Discarding();
  process.showErrorMessage = [](const std::u16string&, const std::u16string&) {};
}

SampleScene::SampleScene() : process(NoFolder()), container(process) {
  Silence(process);
  container.session.libraryPath = Utf16FromUtf8(Q9_TOUCH_LINK_LIBRARY);
  const std::vector<uint8_t> model = ReadSample("_model.pdx");
  container.memory = std::span<const uint8_t>(model);
  if (!loadStartupModel(container)) __builtin_trap();  // the library is always there
  container.memory.reset();
  saved_ = Saved{container.reserved0,
                 container.headerSize,
                 container.reserved8,
                 container.nameLength,
                 container.lastEntryIndex,
                 container.name,
                 container.preservedWord,
                 container.solids,
                 container.materials,
                 container.lights,
                 container.scenes,
                 container.currentSectionName,
                 container.changedMaterials,
                 container.changedSolids,
                 container.session.modelFilePath,
                 container.session.camera};
}

void SampleScene::Restore() {
  container.reserved0 = saved_.reserved0;
  container.headerSize = saved_.headerSize;
  container.reserved8 = saved_.reserved8;
  container.nameLength = saved_.nameLength;
  container.lastEntryIndex = saved_.lastEntryIndex;
  container.name = saved_.name;
  container.preservedWord = saved_.preservedWord;
  container.solids = saved_.solids;
  container.materials = saved_.materials;
  container.lights = saved_.lights;
  container.scenes = saved_.scenes;
  container.currentSectionName = saved_.currentSectionName;
  container.changedMaterials = saved_.changedMaterials;
  container.changedSolids = saved_.changedSolids;
  container.session.modelFilePath = saved_.modelFilePath;
  container.session.camera = saved_.camera;
}

namespace {

std::chrono::nanoseconds ThreadCpuTime() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace

CorpusGate::CorpusGate(std::chrono::microseconds limit) : limit_(limit), start_(ThreadCpuTime()) {}

std::chrono::microseconds CorpusGate::Spent() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(ThreadCpuTime() - start_);
}

int CorpusGate::Verdict() const { return Spent() > limit_ ? -1 : 0; }

void Consume(const std::string& text) {
  volatile size_t sink = text.size();
  (void)sink;
}

}  // namespace q9::fuzz
