// The host's record texts under libFuzzer: every parser, the texture map lookup, and the
// translations into renderer calls through a link library that reads every argument.
//
// An input is a record file's bytes, read as the record reader reads a file (each byte one code
// unit, CR LF one LF); an input that starts with the bytes FF FE is UTF-16LE text after them,
// as the container holds its texts.
#include <dlfcn.h>

#include <cstdint>
#include <optional>
#include <string>

#include "base/text.h"
#include "records/camera_record.h"
#include "records/extend_material_record.h"
#include "records/light_source_record.h"
#include "records/material_record.h"
#include "translate/camera_translation.h"
#include "translate/light_translation.h"
#include "translate/material_translation.h"
#include "translate/views_translation.h"

namespace {

std::u16string Text(const uint8_t* data, size_t size) {
  std::u16string text;
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    for (size_t i = 2; i + 1 < size; i += 2) {
      text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    }
    return text;
  }
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') continue;
    text.push_back(static_cast<char16_t>(data[i]));
  }
  return text;
}

// One process and one started session for the whole run: the translations keep no state in
// the session beyond the camera they overwrite.
struct Renderer {
  Renderer()
      : process(q9::ExchangeFolder(
            [](const std::u16string&, size_t) { return std::nullopt; },
            [](const std::u16string&, const std::u16string&, uint32_t) {
              return std::optional<std::u16string>();
            })),
        session(process) {
    process.exchangeFolder.Fix(u"/nonexistent-q9-fuzz");
    // No log beside the folder that does not exist (it would be made in the folder above).
    process.log = q9::LogWriter::Discarding();
    process.showErrorMessage = [](const std::u16string&, const std::u16string&) {};
    session.libraryPath = q9::Utf16FromUtf8(Q9_TOUCH_LINK_LIBRARY);
    session.modelFilePath = u"C:\\fuzz\\Model.pln";
    if (!session.Initialise()) __builtin_trap();
  }
  q9::ProcessState process;
  q9::LinkSession session;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Renderer renderer;
  const std::u16string text = Text(data, size);

  q9::CameraRecord camera;
  q9::ParseCamera(text, camera);
  q9::SendCamera(renderer.session, camera);

  q9::CameraListRecord list;
  q9::ParseCameraList(text, list);
  std::vector<q9::CameraRecord> scenes;
  q9::UpdateScenes(list, scenes, renderer.session);
  q9::UpdateScenes(list, scenes, renderer.session);  // every view now matched by name

  q9::MaterialRecord material;
  q9::ParseMaterial(text, material);
  for (const bool colorMode : {false, true}) {
    renderer.process.colorMode = colorMode;
    for (int32_t kind = 0; kind <= 7; ++kind) {
      const std::u16string file = q9::FindMapFile(material, kind, colorMode);
      volatile size_t sink = file.size();
      (void)sink;
    }
    q9::SendMaterial(renderer.session, renderer.process, material);
  }

  q9::ExtendMaterialRecord map;
  q9::ParseExtendMaterial(text, map);

  q9::LightSourceRecord light;
  q9::ParseLightSource(text, light);
  q9::SendLight(renderer.session, renderer.process, light);
  return 0;
}
