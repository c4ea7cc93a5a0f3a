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

// Fills `record` from the text's "Camera" block; keys the text lacks keep their values.
void ParseCamera(const std::u16string& text, CameraRecord& record);

// Fills `record` from the text's "Cameras" block: appends one camera per complete entry.
void ParseCameraList(const std::u16string& text, CameraListRecord& record);

}  // namespace q9
