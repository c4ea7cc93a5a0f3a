// The scene container: the binary file in which the host hands over its model ("_model.pdx") and
// its updates ("_mod.sm"), and what this process has sent to the renderer from it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/platform.h"
#include "base/process_state.h"
#include "link/link_session.h"
#include "scene/container_format.h"
#include "scene/container_reader.h"
#include "records/camera_record.h"
#include "records/light_source_record.h"
#include "records/material_record.h"

namespace q9 {

// The layout's figures as the container's members use them (container_format.h has them all).
constexpr int32_t kContainerHeaderSize = static_cast<int32_t>(container::kHeaderSize);
constexpr int kDirectoryEntries = container::kDirectoryEntries;
constexpr size_t kDirectoryEntrySize = container::kEntrySize;

// The section types an entry's `type` names; any other value makes the entry inert.
enum class SectionType : int32_t {
  Geometry = container::kGeometrySectionType,
  ChangeList = container::kChangeListSectionType,
};

// One directory entry, held byte for byte as in the file: the name (1028 UTF-16 units), the type
// at byte 2056, the section's absolute offset at byte 2060, 12 bytes not interpreted.
struct DirectoryEntry {
  std::array<uint8_t, kDirectoryEntrySize> bytes{};

  std::u16string name() const;  // the host project's file path, up to its first zero unit
  int32_t type() const;  // as stored: a SectionType value or any other
  int32_t offset() const;
  // Whether the entry's type is `section`.
  bool is(SectionType section) const { return type() == static_cast<int32_t>(section); }
};
static_assert(sizeof(DirectoryEntry) == kDirectoryEntrySize);

// A solid sent to the renderer.
struct SolidEntry {
  int32_t timeStamp = 0;
  std::u16string nodeName;  // "Solid_" + signed decimal id
  int32_t solidId = 0;
};

// The process's scene: the entry point holds one for the life of the process; tests make as many
// as they need. Every operation opens the file afresh and closes it before it returns.
class SceneContainer {
 public:
  // A container of the process `process`: its link session logs there, and its sections are
  // translated with the process's exchange folder and colour mode.
  explicit SceneContainer(ProcessState& process) : process(process), session(process) {}
  SceneContainer(const SceneContainer&) = delete;
  SceneContainer& operator=(const SceneContainer&) = delete;

  ProcessState& process;
  platform::UniqueFile file;  // open only within one operation
  std::u16string path;        // the container file to use, set before each use
  // Bytes read in place of the file at `path` (kept by the caller); never written. Nullopt: the
  // file.
  std::optional<std::span<const uint8_t>> memory;

  // Header as last read (or as held for a fresh header).
  int32_t reserved0 = 0;
  int32_t headerSize = 0;
  int32_t reserved8 = 1;
  int32_t nameLength = 0;
  std::u16string name;
  int32_t lastEntryIndex = 0;
  std::array<DirectoryEntry, kDirectoryEntries> entries{};
  uint16_t preservedWord = 0;

  LinkSession session;

  // What has been sent to the renderer.
  std::map<uint32_t, SolidEntry> solids;               // ascending unsigned solid id
  std::map<std::u16string, MaterialRecord> materials;  // UTF-16 code unit order of the name
  std::map<uint32_t, LightSourceRecord> lights;        // ascending unsigned LightSolidID
  std::vector<CameraRecord> scenes;                    // element 0: the active camera's slot

  std::u16string currentSectionName;  // entry name of the last geometry section loaded
  std::vector<uint32_t> changedMaterials;  // held, not used: the host's update resends materials
  std::vector<uint32_t> changedSolids;

  // The bounded cursor over `file` through which every read goes; attached by open().
  ContainerReader reader;
  // Why the last open() found no file, in the operating system's words; empty when it found one.
  platform::FileError openError;
  // Whether the last open() could open the file for reading only.
  bool openedReadOnly = false;
  // How long the last open() waited for the file while another process held it.
  std::chrono::milliseconds openWaited{0};

  // Closes `file`, then opens `path` (its "/" replaced by "\" in `path` itself): read-only when
  // it cannot be written, else for update, else, when nothing exists at the path, created empty.
  // An existing file is never truncated. A file in use by another process is waited for as the
  // process's fileInUseWait allows. Leaves `file` open or null.
  void open();
  // Opens `path` read-only and never creates or writes it (tools). False when it cannot.
  bool OpenForReading();
  // Closes `file` if it is open.
  void Close();
  // open(), then: a file of at least 208644 bytes has its header and directory read into the
  // members, leaving `file` open just behind the directory; a missing or empty file receives
  // a fresh header made from the members as held (the header last read, or the start values),
  // and `file` is closed. A file that holds some bytes but less than a header (damaged, or
  // still being written by the host) is left untouched and closed, with a "Warning: " line.
  // A file that was waited for a tenth of a second or more gets a "Note: " line saying how long.
  // No file: nothing changes, and an "Error: " line tells why; so does a fresh header that could
  // not be written, and what was written of it is removed (the file was empty), so that the next
  // start writes it again.
  void loadHeader();
  // Reads the header and directory at offset 0 of the open file into the members. The name is
  // the text up to its first zero unit, at most 255 units. Any bytes are safe (fuzzed); beyond
  // the fixed-size header and directory it keeps only that name.
  void ReadHeader();
  // One length-prefixed string at the current position, cut to what the file holds.
  std::u16string readString();
  // One id list at the current position into `list`, replacing it; returns the count kept.
  uint32_t readIdList(std::vector<uint32_t>& list);
  // loadHeader(), then, if `index` is in use (not above lastEntryIndex) and its entry is a
  // geometry section, reads and sends that section and makes its entry's name the
  // currentSectionName. Ends with `file` closed. Damage that the reads met is logged in one
  // "Warning: " line (the first damage and how many more).
  void loadSection(int32_t index);
  // Applies the change list of entry 0: for the project last loaded the changed solids and all
  // lights are removed (applyChangeList); for another project everything sent is removed
  // (resetAll), the session switches to that project's model file and saves its raw archive.
  // Ends with `file` closed. Damage is logged as by loadSection. Any bytes are safe (fuzzed); an id
  // list replaces the one before it, and none is longer than the file holds.
  void applyChanges();
  // Same project: deletes the changed solids that were sent, then every light.
  void applyChangeList();
  // Another project: deletes every solid, material, light (the switched-on ones are deleted in
  // the renderer) and scene, then makes one transfer.
  void resetAll();
};

// One damage report in words, with the offset it concerns: "count 500 at offset 208700 cut to 3,
// all the file holds". `fileLength` is the length of the file read.
std::string DescribeDamage(const ReadDamage& damage, int64_t fileLength);

// Watches the container's reads for one operation (loadSection, applyChanges): counts the damage
// reports, keeps the first, passes each on to a handler that was set before (tools), and at
// Finish() logs one "Warning: " line when there was any. The earlier handler is put back when
// the watch ends.
class DamageWatch {
 public:
  explicit DamageWatch(SceneContainer& container);
  ~DamageWatch();
  DamageWatch(const DamageWatch&) = delete;
  DamageWatch& operator=(const DamageWatch&) = delete;

  uint64_t count() const { return count_; }
  // Logs the damage seen so far, once.
  void Finish();

 private:
  SceneContainer& container_;
  std::function<void(const ReadDamage&)> previous_;
  uint64_t count_ = 0;
  std::string first_;
  bool finished_ = false;
};

}  // namespace q9
