// The scene container: the binary file in which the host hands over its model ("_model.pdx") and
// its updates ("_mod.sm"), and what this process has sent to the renderer from it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/platform.h"
#include "link/link_session.h"
#include "records/camera_record.h"
#include "records/light_source_record.h"
#include "records/material_record.h"

namespace q9 {

constexpr int32_t kContainerHeaderSize = 208644;
constexpr int kDirectoryEntries = 100;
constexpr size_t kDirectoryEntrySize = 2076;

enum SectionType : int32_t {
  Geometry = 2,
  ChangeList = 4,
};

// One directory entry, held byte for byte as in the file.
struct DirectoryEntry {
  std::array<uint8_t, kDirectoryEntrySize> bytes{};

  std::u16string name() const;  // the host project's file path, up to its first zero unit
  int32_t type() const;
  int32_t offset() const;
};

// A solid sent to the renderer.
struct SolidEntry {
  int32_t timeStamp = 0;
  std::u16string nodeName;  // "Solid_" + signed decimal id
  int32_t solidId = 0;
};

class SceneContainer {
 public:
  platform::UniqueFile file;  // open only within one operation
  std::u16string path;        // the container file to use, set before each use

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
  std::vector<uint32_t> changedMaterials;
  std::vector<uint32_t> changedSolids;

  // Closes `file`, then opens `path` (its "/" replaced by "\"): read-only when it cannot be
  // written, else for update, else created empty. Leaves `file` open or null.
  void open();
  // Reads the header and directory, leaving `file` open just behind the directory; or, for a
  // missing or short file, writes a fresh header from the members and closes the file.
  void loadHeader();
  // One length-prefixed string at the current position.
  std::u16string readString();
  // One id list at the current position into `list`, replacing it; returns the count.
  uint32_t readIdList(std::vector<uint32_t>& list);
  // Loads directory entry `index` if it is a geometry section and sends it; ends with `file`
  // closed.
  void loadSection(int32_t index);
  // Applies the change list of entry 0 to the renderer and to the maps.
  void applyChanges();
  // Same project: removes the changed solids and all lights.
  void applyChangeList();
  // Another project: removes everything sent.
  void resetAll();
};

}  // namespace q9
