// "Camera" and "Cameras" block records: the host's current camera ("camera.cam") and its saved
// views ("Views.cam" and the view block of a geometry section).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "records/float3.h"

namespace q9 {

struct CameraRecord {
  int32_t nType = 0;
  float _fov = 0;  // as the host writes it; the renderer receives _fov x 1.5
  Float3 _from;    // zero when the text has no such key
  Float3 _to;
  Float3 _up;
  std::u16string Name;
};

struct CameraListRecord {
  std::vector<CameraRecord> cameras;  // one per complete list entry, in text order
  int32_t nActCamera = 0;             // not checked against the list's size
};

// Fills `record` from the text's "Camera" block; keys the text lacks keep their values. Any text
// is safe (fuzzed); the record keeps at most one name, a piece of the text.
void ParseCamera(const std::u16string& text, CameraRecord& record);

// Fills `record` from the text's "Cameras" block: appends one camera per complete entry. Any text
// is safe (fuzzed, also as a geometry section's view block); an entry takes at least two lines of
// the text, so the list is bounded by the text's length.
void ParseCameraList(const std::u16string& text, CameraListRecord& record);

}  // namespace q9
