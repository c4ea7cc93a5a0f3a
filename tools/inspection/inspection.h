// The inspect command: a container file explained, section by section, with its damage.
#pragma once

#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "common/failure.h"

namespace q9x {

// Reads the container at `path` (UTF-8) without changing it and describes it: the file's
// length, the header, each directory entry in use (and the others that are not empty), and
// each section decoded through the system's own readers: for a geometry section the section
// header, the parsed material and light records, the solids with their meshes and triangle
// counts, and the views; for a change list the kinds and ids. Each section lists its damage
// ("damage": objects with "offset", "what" was being read, "kind" and "message");
// "damaged" is true when any section, or the file's length (not empty, shorter than a header),
// is damaged. A failure (kind File) when the file is a folder ("PATH is a folder, not a container
// file") or cannot be opened ("cannot open PATH").
// With `listItems` false the sections carry their damage only, without the materials, lights,
// solids, views and change-list items: the items are read just the same, so the damage is the
// same, and memory stays at the reader's whatever the container holds (the doctor's check).
Outcome<nlohmann::json> InspectContainer(const std::string& path, bool listItems = true);

// The description as text for people.
void PrintInspection(const nlohmann::json& inspection, std::ostream& out);

}  // namespace q9x
