// The 38 exports of the reference link library (README.md beside this file describes the
// switches, the journal and the raw archive). Every export is made from Q9_LINK_FUNCTIONS: it
// takes the library's lock, writes its journal line when a journal is asked for (from its
// arguments by their types, see journal_line.h), and applies its effect, below under the
// export's own name, to the session its handle names.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "base/platform.h"
#include "base/text.h"
#include "journal_line.h"
#include "link/q9plugin_api.h"
#include "received/raw_archive.h"
#include "received/received_scene.h"

#ifdef _WIN32
#define Q9PLUGIN_EXPORT __declspec(dllexport)
#else
#define Q9PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

// The exports are declared from the same list the link session resolves, so a signature can
// only change in both at once.
#define Q9PLUGIN_DECLARE(result, name, parameters, arguments) \
  extern "C" Q9PLUGIN_EXPORT result name parameters;
Q9_LINK_FUNCTIONS(Q9PLUGIN_DECLARE)
#undef Q9PLUGIN_DECLARE

namespace q9plugin {

namespace {

namespace platform = q9::platform;

using q9x::CameraBlock;
using q9x::Matrix;
using q9x::PropertyValue;

// One session: the scene its building calls collect (names, types, properties, triangle counts;
// never the mesh arrays themselves), which its raw archive shows.
struct Session {
  q9x::ReceivedScene scene;
  bool connected = false;
};

// Lives from the library's load to its unload; a library loaded again starts with no sessions.
struct LibraryState {
  std::mutex mutex;
  std::vector<std::unique_ptr<Session>> sessions;  // slot n - 1 holds session n; null once destroyed
  std::string callError;  // why the running call failed, for its journal line; empty when it did not
};

LibraryState& State() {
  static LibraryState state;
  return state;
}

// A switch as the process's environment holds it at this moment; empty when unset or empty.
std::optional<std::u16string> Switch(const char* name) {
  std::optional<std::u16string> value =
      platform::ReadProcessEnvironment(std::u16string(name, name + std::strlen(name)));
  if (value && value->empty()) value.reset();
  return value;
}

bool SwitchOn(const char* name) { return Switch(name) == u"1"; }

int32_t IntSwitch(const char* name, int32_t fallback) {
  const std::optional<std::u16string> value = Switch(name);
  if (!value) return fallback;
  const std::string text = q9::Utf8FromUtf16(*value);
  char* end = nullptr;
  const long long number = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || number < INT32_MIN || number > INT32_MAX) return fallback;
  return static_cast<int32_t>(number);
}

// Q9PLUGIN_STEP as an unsigned decimal number of at most 19 digits; none when unset or not that.
std::optional<uint64_t> StepSwitch() {
  const std::optional<std::u16string> value = Switch("Q9PLUGIN_STEP");
  if (!value || value->size() > 19) return std::nullopt;
  uint64_t step = 0;
  for (const char16_t c : *value) {
    if (c < u'0' || c > u'9') return std::nullopt;
    step = step * 10 + static_cast<uint64_t>(c - u'0');
  }
  return step;
}

std::string Utf8(const char16_t* text) {
  return text ? q9::Utf8FromUtf16(std::u16string_view(text)) : std::string();
}

// The live session a handle names (the handle is the session's number); null for a null,
// unknown or destroyed handle.
Session* Live(Q9Session h) {
  const uintptr_t number = reinterpret_cast<uintptr_t>(h);
  auto& sessions = State().sessions;
  return number >= 1 && number <= sessions.size() ? sessions[number - 1].get() : nullptr;
}

// Where Q9SaveRawToQ9a writes: the given path, or with Q9PLUGIN_ARCHIVE_DIR set, the same file
// name in that folder.
std::u16string ArchiveTarget(const std::u16string& path) {
  const std::optional<std::u16string> folder = Switch("Q9PLUGIN_ARCHIVE_DIR");
  if (!folder) return path;
  const size_t cut = path.find_last_of(u"\\/");
  const std::u16string name = cut == std::u16string::npos ? path : path.substr(cut + 1);
  const bool separated = folder->back() == u'\\' || folder->back() == u'/';
  return *folder + (separated ? u"" : u"\\") + name;
}

// Writes the archive through a temporary file of this process beside the target, then moves it
// over the target, so a reader sees the old archive or the new one, never a part. Why it could
// not goes to the call's journal line; the temporary file is removed then.
void SaveArchive(const Session& session, const std::u16string& path) {
  const std::u16string target = ArchiveTarget(path);
  std::u16string temporary = target + u".";
  for (const char digit : std::to_string(platform::CurrentProcessId())) temporary += char16_t(digit);
  temporary += u".tmp";
  platform::FileError failure;
  platform::UniqueFile file = platform::OpenFile(temporary, "wb", &failure);
  if (!file) {
    State().callError = "\"" + platform::DisplayPath(temporary) + "\" could not be created: " +
                        failure.text;
    return;
  }
  bool written = false;
  try {
    written = q9x::WriteArchive(session.scene, file.get(), &failure);
  } catch (...) {
    failure.text = "the archive could not be made";
  }
  // A write the runtime still held in its buffer fails only here, when it reaches the disk.
  if (!platform::FinishFile(std::move(file), written ? &failure : nullptr)) written = false;
  if (written && platform::RenameFile(temporary, target, true)) return;
  platform::RemovePath(temporary);
  State().callError = written ? "\"" + platform::DisplayPath(temporary) +
                                    "\" could not be moved to \"" + platform::DisplayPath(target) + "\""
                              : "the archive could not be written: " + failure.text;
}

// One call as the journal sees it. The journal's path is read at every call, so a program may
// point it at another file at any time; the line goes out when the call ends.
class Call {
 public:
  explicit Call(const char* function)
      : journal_(Switch("Q9PLUGIN_JOURNAL")), line_(journal_.has_value(), function) {}

  ~Call() {
    if (!journal_) return;
    try {
      // Read only for a journal's line, so that a call without one costs no more than before.
      if (const std::optional<uint64_t> step = StepSwitch()) line_.Step(*step);
      const std::string& text = line_.Finish();
      platform::UniqueFile file = platform::OpenFile(*journal_, "ab");
      if (file) {
        std::fwrite(text.data(), 1, text.size(), file.get());
        std::fflush(file.get());
      }
    } catch (...) {
      // A journal line that cannot be made is lost; the call itself still counts.
    }
  }

  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  JournalLine& line() { return line_; }

 private:
  std::optional<std::u16string> journal_;
  JournalLine line_;
};

// Runs one export: the lock, the journal line (the handle's session number, the arguments, the
// result), and the effect. The effect of a function that takes a handle runs only on a live
// session; with none the function returns its result type's default. Nothing leaves an export:
// a failure inside one (memory, most likely) ends that call quietly.
template <typename Result, typename Effect>
struct Export {
  const char* function;
  Effect effect;

  template <typename... Arguments>
  Result operator()(Q9Session h, Arguments... arguments) const noexcept {
    return Run([&](Call& call) -> Result {
      Session* session = Live(h);
      call.line().Handle(session ? reinterpret_cast<uintptr_t>(h) : 0);
      PutArguments(call.line(), arguments...);
      if (!session) return Result();
      return effect(*session, arguments...);
    });
  }

  template <typename... Arguments>
  Result operator()(Arguments... arguments) const noexcept {
    return Run([&](Call& call) -> Result {
      PutArguments(call.line(), arguments...);
      return effect(arguments...);
    });
  }

  template <typename Body>
  Result Run(Body&& body) const noexcept {
    try {
      std::lock_guard<std::mutex> lock(State().mutex);
      Call call(function);
      State().callError.clear();
      if constexpr (std::is_void_v<Result>) {
        body(call);
        if (!State().callError.empty()) {
          call.line().Error(q9::Utf16FromUtf8(State().callError));
        }
      } else {
        Result result = body(call);
        PutResult(call.line(), result);
        return result;
      }
    } catch (...) {
    }
    return Result();
  }
};

template <typename Result, typename Effect>
Export<Result, Effect> MakeExport(const char* function, Effect effect) {
  return {function, effect};
}

std::optional<CameraBlock> CopyCamera(const CameraTransform* camera) {
  if (!camera) return std::nullopt;
  CameraBlock block;
  std::memcpy(block.data(), camera, sizeof(CameraTransform));
  return block;
}

// Entity kind 1 is the light; entities of other kinds, and lights never added, are kept out of
// the archive (the journal still shows the call).
void SetEntityProperty(Session& s, int32_t kind, const char16_t* entity, const char16_t* property,
                       PropertyValue value) {
  if (kind == 1 && entity && property) s.scene.SetEntityProperty(kind, Utf8(entity), Utf8(property), std::move(value));
}

// Only on a material that was added.
void SetMaterialProperty(Session& s, const char16_t* material, const char16_t* property, PropertyValue value) {
  if (material && property) s.scene.SetMaterialProperty(Utf8(material), Utf8(property), std::move(value));
}

constexpr char16_t kVersionText[] = u"Q9Plugin-ref 1";

}  // namespace

// What each export does. The functions that take a handle get the live session in its place.
namespace effect {

void SetQ9RenderPath(const char16_t*) {}

int32_t StartLinkQ9Render(const char16_t*) {
  const int32_t result = IntSwitch("Q9PLUGIN_START_RESULT", 0);
  // A slow renderer start, so that requests can arrive while the model is being loaded.
  const int32_t delay = std::clamp(IntSwitch("Q9PLUGIN_START_DELAY_MS", 0), 0, 60000);
  if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  return result;
}

Q9Session CreateSession() {
  if (SwitchOn("Q9PLUGIN_NO_SESSION")) return nullptr;
  auto& sessions = State().sessions;
  sessions.push_back(std::make_unique<Session>());
  // The handle is the session's number: opaque to the caller, and what the journal shows.
  return reinterpret_cast<Q9Session>(uintptr_t{sessions.size()});
}

void DestroySession(Session& s) {
  for (auto& slot : State().sessions) {
    if (slot.get() == &s) slot.reset();
  }
}

void Connect(Session& s) { s.connected = true; }

bool HasConnected(Session& s) { return s.connected && !SwitchOn("Q9PLUGIN_REFUSE_CONNECT"); }

void SendModel(Session&) {}

void DisConnect(Session& s) { s.connected = false; }

void SetModelFilePath(Session& s, const char16_t* modelBaseName) {
  if (modelBaseName) s.scene.model = Utf8(modelBaseName);
}

void Q9GetRenderVersion(char16_t* buffer, int32_t count) {
  if (!buffer || count <= 0) return;
  const size_t length = std::min<size_t>(std::char_traits<char16_t>::length(kVersionText),
                                         static_cast<size_t>(count) - 1);
  std::memcpy(buffer, kVersionText, length * sizeof(char16_t));
  buffer[length] = u'\0';
}

void Q9SetMaterialVersion(Session& s, int32_t version) { s.scene.materialVersion = version; }

// A path without a name before its extension (".q9a", what a session gets before it knows its
// model) names no model's archive: nothing is written, least of all into the working directory
// of whatever program loaded the library. The journal still shows the call.
bool NamesAnArchive(std::u16string_view path) {
  const size_t cut = path.find_last_of(u"\\/");
  const std::u16string_view name = cut == std::u16string_view::npos ? path : path.substr(cut + 1);
  return !name.empty() && name.front() != u'.';
}

void Q9SaveRawToQ9a(Session& s, const char16_t* path) {
  if (path && NamesAnArchive(path)) SaveArchive(s, path);
}

void SendScenes(Session&, const char16_t*) {}

void MaxBeginNode(Session& s, const char16_t* nodeName, const float* matrix, bool flag) {
  if (!nodeName) return;
  std::optional<Matrix> copied;
  if (matrix) {
    copied.emplace();
    std::memcpy(copied->data(), matrix, 16 * sizeof(float));
  }
  s.scene.BeginNode(Utf8(nodeName), copied, flag);
}

// The archive keeps the name and the count only: a model transfer must not pay for copying its
// meshes a second time. With no open node it adds nothing.
void MaxAddTriangles(Session& s, const char16_t* meshName, int32_t triangleCount, const void*,
                     const void*, const void*, int32_t) {
  s.scene.AddMesh(Utf8(meshName), triangleCount);
}

void Q9EndNode(Session& s) { s.scene.EndNode(); }

void Q9SendProcessed(Session&) {}

void MaxDeleteNode(Session& s, const char16_t* nodeName) {
  if (nodeName) s.scene.DeleteNode(Utf8(nodeName));
}

void Q9DeleteNode(Session& s, const char16_t* nodeName) { MaxDeleteNode(s, nodeName); }

void Q9AddLight(Session& s, const char16_t* lightName) {
  if (lightName) s.scene.AddLight(Utf8(lightName));
}

void Q9DeleteLight(Session& s, const char16_t* lightName) {
  if (lightName) s.scene.DeleteLight(Utf8(lightName));
}

void Q9ClearLights(Session& s) { s.scene.ClearLights(); }

void Q9SendLights(Session&) {}

void Q9SetEntityStringProperty(Session& s, int32_t kind, const char16_t* entity,
                               const char16_t* property, const char16_t* value) {
  if (value) SetEntityProperty(s, kind, entity, property, Utf8(value));
}

void Q9SetEntityIntProperty(Session& s, int32_t kind, const char16_t* entity,
                            const char16_t* property, int32_t value) {
  SetEntityProperty(s, kind, entity, property, value);
}

void Q9SetEntityFloatProperty(Session& s, int32_t kind, const char16_t* entity,
                              const char16_t* property, float value) {
  SetEntityProperty(s, kind, entity, property, value);
}

void Q9SetEntityFloatArrayProperty(Session& s, int32_t kind, const char16_t* entity,
                                   const char16_t* property, const float* values, int64_t count) {
  if (!values || count < 0) return;
  SetEntityProperty(s, kind, entity, property, std::vector<float>(values, values + count));
}

void Q9AddMaterial(Session& s, const char16_t* material) {
  if (material) s.scene.AddMaterial(Utf8(material));
}

// The renderer forgets the material; it comes back only with a new Q9AddMaterial.
void Q9ResetMaterial(Session& s, const char16_t* material) {
  if (material) s.scene.ResetMaterial(Utf8(material));
}

void Q9SetMaterialType(Session& s, const char16_t* material, int32_t type) {
  if (material) s.scene.SetMaterialType(Utf8(material), type);
}

void Q9SetMaterialStringProperty(Session& s, const char16_t* material, const char16_t* property,
                                 const char16_t* value) {
  if (value) SetMaterialProperty(s, material, property, Utf8(value));
}

void Q9SetMaterialIntProperty(Session& s, const char16_t* material, const char16_t* property,
                              int32_t value) {
  SetMaterialProperty(s, material, property, value);
}

void Q9SetMaterialFloatProperty(Session& s, const char16_t* material, const char16_t* property,
                                float value) {
  SetMaterialProperty(s, material, property, value);
}

void AddScene(Session& s, const char16_t* sceneName, const char16_t* sceneName2,
              CameraTransform* camera, float fov) {
  if (!sceneName) return;
  s.scene.AddScene(Utf8(sceneName), Utf8(sceneName2), CopyCamera(camera), fov);
}

void SendCameraTransformFov(Session& s, CameraTransform* camera, float fov) {
  s.scene.SendCamera(CopyCamera(camera), fov);
}

void Q9SendCamera(Session&) {}

void Q9ClearScenes(Session& s) { s.scene.ClearScenes(); }

void Q9DeleteScene(Session& s, const char16_t* sceneName) {
  if (sceneName) s.scene.DeleteScene(Utf8(sceneName));
}

}  // namespace effect

}  // namespace q9plugin

#define Q9PLUGIN_DEFINE(result, name, parameters, arguments)                               \
  result name parameters {                                                                 \
    return q9plugin::MakeExport<result>(                                                   \
        #name, [](auto&&... a) -> result { return q9plugin::effect::name(a...); }) arguments; \
  }
Q9_LINK_FUNCTIONS(Q9PLUGIN_DEFINE)
#undef Q9PLUGIN_DEFINE
