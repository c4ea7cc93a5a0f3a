// Containers built from a JSON description: the pack command, and the tests' way to make the
// files they need, intact or deliberately damaged. The description is read into a
// ContainerContent (container_plan.h), which is planned and then written section by section
// (container_write.h).
//
// Description (every field optional unless marked; "override" fields write the given value in
// place of the one the layout computes, for damaged files):
// {
//   "header": { "name": "Villa", "reserved0": 0, "reserved8": 1, "preservedWord": 0,
//               "headerSize": 208644, "nameLength": <units of name>,
//               "lastEntryIndex": <number of entries - 1> },
//   "entries": [                                   // directory entries 0, 1, ... (at most 100)
//     { "name": "C:\\Projects\\Villa.pln",        // the host project's path
//       "type": "geometry" | "changeList" | <int>, // default: from the section given
//       "offset": <where the section is placed>,  // default: behind all placed before
//       "offsetValue": <override of the offset written in the directory>,
//       "geometry": {...} | "changeList": {...} | "hex": "0a0b..." }   // the section
//   ],
//   "patches": [ { "at": 24, "entry": 1, "int32": -1 } ],  // "at" relative to entry 1's section
//                                                            // (absolute without "entry");
//                                                            // "int32", "uint32", "uint8", "hex"
//   "truncate": <length the file is cut to>,
//   "defines": { "project": "C:\\Projects\\Villa.pln" }   // "${project}" in any text is replaced
// }
// Geometry section:
// { "materials": [ { "text": "..." | "file": "oak.mat", "textBytes": override } ],
//   "lights":    [ { "text": "..." | "file": "spot.light" } ],
//   "solids":    [ null (a table entry 0) |
//                  { "id": 1, "timeStamp": 7, "name": "Wall", "tag": "", "flag": 0,
//                    "headerLength": override, "padding": <bytes before the mesh list>,
//                    "meshCount": override,
//                    "meshes": [ null |
//                      { "name": "wall", "tag": "", "obj": "wall.obj", "objObject": "wall",
//                        "arrays": { "1": [floats], ... }, "raw": { "1": [uint32], ... },
//                        "counts": { "1": override }, "headerLength": override,
//                        "padding": <bytes before the arrays> } ] } ],
//   "views": { "text": "..." | "file": "views.txt" },
//   "materialBlockEnd", "lightBlockSpan", "solidBlockSize", "viewBlockSize", "reserved16",
//   "materialCount", "lightCount", "solidCount": overrides }
// A block is present when its key is (an empty list included). Mesh arrays from an OBJ file:
// array 1 positions, array 5 normals, array 2 texture coordinates; "arrays" and "raw" add or
// replace arrays by number. Solids and meshes also take "field0", "field1" and "field2": the int32
// fields that the reader does not interpret (0 unless given).
// Change list: { "items": [ { "kind": "Solid", "ids": [3, 4], "idCount": override } ],
//                "count": override of the table's value count (default 2 per item) }
#pragma once

#include <functional>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "pack/container_sink.h"
#include "pack/container_plan.h"

namespace q9x {

struct PackOptions {
  // Add to and override the description's own "defines"; a "${NAME}" that neither defines is an
  // error.
  std::map<std::string, std::string> defines;
  // Told (entries done, entries) after each entry.
  std::function<void(size_t, size_t)> progress;
  PlanLimits limits;
  // Files may be named only below the description's folder: an absolute name, a ".." or a
  // drive is an error (for descriptions from outside, e.g. a fuzzer's, in a scratch folder).
  bool filesInFolderOnly = false;
};

struct PackResult {
  bool ok = false;
  std::string bytes;    // the container, when packed into memory
  std::string error;    // why not, when !ok
  bool sinkFailed = false;  // the error is the output's (e.g. a full disk), not the description's
  std::string warning;  // a layout the reader will not see as described (e.g. views out of place)
};

// The plan of the container `description` asks for; files named in it are found relative to
// `folder` (and read while planning, to size them). A description that CheckDescription
// (description_check.h) refuses, or one that asks for more than `options.limits`, is a PackError.
ContainerPlan PlanDescription(const nlohmann::json& description, const std::string& folder,
                              const PackOptions& options = {});

// Plans, then writes into `sink`. Nothing is written when the plan fails.
// Any description is safe: memory is bounded by its size and by options.limits.
PackResult PackContainer(const nlohmann::json& description, const std::string& folder,
                         ContainerSink& sink, const PackOptions& options = {});

// The container in memory (`bytes` of the result).
PackResult PackContainer(const nlohmann::json& description, const std::string& folder,
                         const std::map<std::string, std::string>& defines = {},
                         const std::function<void(size_t, size_t)>& progress = {});

// Into the file `path`, created or replaced once the plan holds. A file that a failed write
// left behind is removed.
PackResult PackContainerToFile(const nlohmann::json& description, const std::string& folder,
                               const std::string& path, const PackOptions& options = {});

}  // namespace q9x
