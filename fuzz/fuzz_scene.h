// What the fuzz targets of the scene container share: the built sample containers, a file in
// memory whose fixed part is built once and whose variable part each input fills, and a scene
// in the state the sample model's start-up load leaves, put back before every input.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/process_state.h"
#include "scene/scene_container.h"

namespace q9::fuzz {

// The bytes of a file of the built sample folder (the packed "_model.pdx" and "_mod.sm"). A
// missing file stops the run: the build makes them before the targets.
std::vector<uint8_t> ReadSample(const char* name);
// The bytes of the container of small sections packed for the seeds (seed_sections.json).
std::vector<uint8_t> ReadSeedSections();

// The first `kContainerHeaderSize` bytes of `file`, zeros where it is shorter.
std::vector<uint8_t> HeaderOf(const std::vector<uint8_t>& file);

// Sets directory entry `index` of `header` to a section of `type` at absolute `offset`.
void SetEntry(std::vector<uint8_t>& header, size_t index, int32_t type, int32_t offset);
void SetLastEntryIndex(std::vector<uint8_t>& header, int32_t index);

// A container file in memory: a front, built once, and a tail that each input replaces. The
// buffer is reused while the tail fits; the bytes behind the tail are poisoned for the address
// sanitizer, so a read beyond the end of the file is caught as it would be in a buffer of exactly
// the file's length.
class TailFile {
 public:
  explicit TailFile(std::vector<uint8_t> front);
  TailFile(const TailFile&) = delete;
  TailFile& operator=(const TailFile&) = delete;
  ~TailFile();

  // The front, to change in place (the whole-container targets put the input's header there).
  std::span<uint8_t> front() { return {bytes_.get(), frontSize_}; }
  // The file: the front, then `parts` one after another. Valid until the next call.
  std::span<const uint8_t> With(std::initializer_list<std::span<const uint8_t>> parts);

 private:
  void Reserve(size_t tailBytes);

  size_t frontSize_;
  size_t capacity_ = 0;
  std::unique_ptr<uint8_t[]> bytes_;
};

// The container file that a short input stands for (fuzz_input.h): the input's header part put
// in the front of `file` (whose front is a header of zeros beyond that part), its bytes after
// that part as the tail, followed by `after`.
std::span<const uint8_t> ExpandInto(TailFile& file, std::span<const uint8_t> input,
                                    std::span<const uint8_t> after = {});

// An exchange folder that does not exist: record files go nowhere.
ExchangeFolder NoFolder();

// Makes `process` quiet: its log writes no line (a log beside a folder that does not exist would
// still be made, in the folder above) and a stopping failure shows nothing.
void Silence(ProcessState& process);

// One process and one container whose link session is started once, through the link library
// that reads every argument, and has loaded the sample model from memory.
class SampleScene {
 public:
  SampleScene();
  SampleScene(const SampleScene&) = delete;
  SampleScene& operator=(const SampleScene&) = delete;

  // Puts the container back as the sample model's start-up load left it: what was sent
  // (solids, materials, lights, scenes), the section name, the changed ids, the header as read,
  // the session's model path and camera. The directory entries are not put back: every file the
  // targets read holds a full header, which each operation reads afresh.
  void Restore();

  ProcessState process;
  SceneContainer container;

 private:
  struct Saved {
    int32_t reserved0, headerSize, reserved8, nameLength, lastEntryIndex;
    std::u16string name;
    uint16_t preservedWord;
    std::map<uint32_t, SolidEntry> solids;
    std::map<std::u16string, MaterialRecord> materials;
    std::map<uint32_t, LightSourceRecord> lights;
    std::vector<CameraRecord> scenes;
    std::u16string currentSectionName;
    std::vector<uint32_t> changedMaterials, changedSolids;
    std::u16string modelFilePath;
    CameraTransform camera;
  };
  Saved saved_;
};

// The sample scene for one input: as the sample model's start-up load left it when the input
// starts, put back when the input's run ends. Put back at the end rather than before the next
// input, so that what the input added to the scene is also freed within its run: libFuzzer runs
// an input that allocated more blocks than it freed a second time, and scans the whole heap for
// a leak after many of them.
class SceneInput {
 public:
  explicit SceneInput(SampleScene& scene) : scene_(scene) {}
  ~SceneInput() { scene_.Restore(); }
  SceneInput(const SceneInput&) = delete;
  SceneInput& operator=(const SceneInput&) = delete;

  SceneContainer& container() { return scene_.container; }

 private:
  SampleScene& scene_;
};

// What a section target holds from its first input on: the sample scene and the file whose front
// it builds once.
struct SceneTarget {
  explicit SceneTarget(std::vector<uint8_t> front) : file(std::move(front)) {}

  SampleScene scene;
  TailFile file;
};

// Decides whether libFuzzer may keep an input in its corpus, by the input's work: the CPU time
// the calling thread spends from the gate's construction to Verdict(). An input that takes more
// than the limit has run in full, and a fault in it is found all the same; it only never becomes
// the parent of further inputs. A damaged table can make a small input send thousands of items
// or parse the same long text again and again, up to what the reader's work budget allows for a
// file that holds a 208644-byte header; kept, such inputs breed more of their kind and slow the
// run to a few inputs a second without reaching anything new. (CPU time, not the clock, so that
// a machine shared with other work keeps the same inputs; a slower machine keeps fewer.)
class CorpusGate {
 public:
  explicit CorpusGate(std::chrono::microseconds limit);
  // The thread's CPU time since the gate was made.
  std::chrono::microseconds Spent() const;
  // 0: may be kept; -1: never kept.
  int Verdict() const;

 private:
  std::chrono::microseconds limit_;
  std::chrono::nanoseconds start_;
};

// Keeps the compiler from dropping a result.
void Consume(const std::string& text);

}  // namespace q9::fuzz
