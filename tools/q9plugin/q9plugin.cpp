// The 38 exports of the reference link library (README.md beside this file describes the
// switches, the journal and the raw archive). Each call takes the library's lock, writes its
// journal line when a journal is asked for, and updates the session it names.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "host_files.h"
#include "journal_line.h"
#include "link/q9plugin_api.h"
#include "session_model.h"

#ifdef _WIN32
#define Q9PLUGIN_EXPORT __declspec(dllexport)
#else
#define Q9PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

// The exports are declared from the same list the link session resolves, so a signature can
// only change in both at once: a definition below that differs from its declaration does not
// compile.
#define Q9PLUGIN_DECLARE(result, name, parameters, arguments) \
  extern "C" Q9PLUGIN_EXPORT result name parameters;
Q9_LINK_FUNCTIONS(Q9PLUGIN_DECLARE)
#undef Q9PLUGIN_DECLARE

namespace q9plugin {

namespace {

// Lives from the library's load to its unload; a library loaded again starts with no sessions.
struct LibraryState {
  std::mutex mutex;
  std::vector<std::unique_ptr<Session>> sessions;  // slot n - 1 holds session n; null once destroyed
};

LibraryState& State() {
  static LibraryState state;
  return state;
}

bool SwitchOn(const char* name) {
  const std::optional<std::u16string> value = ReadEnvironment(name);
  return value && *value == u"1";
}

int32_t IntSwitch(const char* name, int32_t fallback) {
  const std::optional<std::u16string> value = ReadEnvironment(name);
  if (!value || value->empty()) return fallback;
  const std::string text = q9::Utf8FromUtf16(*value);
  char* end = nullptr;
  const long long number = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || number < INT32_MIN || number > INT32_MAX) return fallback;
  return static_cast<int32_t>(number);
}

std::string Utf8(const char16_t* text) {
  return text ? q9::Utf8FromUtf16(std::u16string_view(text)) : std::string();
}

// One library call: holds the lock while it runs and writes the journal line when it ends. The
// journal's path is read at every call, so a program may point it at another file at any time.
class Call {
 public:
  explicit Call(const char* function)
      : lock_(State().mutex), journal_(JournalPath()), line_(journal_.has_value(), function) {}

  Call(const char* function, Q9Session h) : Call(function) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(h);
    auto& sessions = State().sessions;
    if (value >= 1 && value <= sessions.size() && sessions[value - 1]) {
      number_ = value;
      session_ = sessions[value - 1].get();
    }
    line_.Handle(number_);
  }

  ~Call() {
    if (!journal_) return;
    try {
      AppendToFile(*journal_, line_.Finish());
    } catch (...) {
      // A journal line that cannot be made is lost; the call itself still counts.
    }
  }

  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  JournalLine& line() { return line_; }
  // The live session the handle names; null for a null, unknown or destroyed handle.
  Session* session() const { return session_; }
  uint64_t number() const { return number_; }

 private:
  static std::optional<std::u16string> JournalPath() {
    std::optional<std::u16string> path = ReadEnvironment("Q9PLUGIN_JOURNAL");
    if (path && path->empty()) path.reset();
    return path;
  }

  std::lock_guard<std::mutex> lock_;
  std::optional<std::u16string> journal_;
  JournalLine line_;
  uint64_t number_ = 0;
  Session* session_ = nullptr;
};

// Nothing may leave an export: a failure inside one (memory, most likely) ends that call quietly.
template <typename Result, typename Body>
Result Guarded(Result fallback, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return fallback;
  }
}

template <typename Body>
void Guarded(Body&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

// The calls that take a handle and nothing else.
template <typename Action>
void HandleOnly(const char* function, Q9Session h, Action&& action) {
  Guarded([&] {
    Call call(function, h);
    if (Session* session = call.session()) action(*session);
  });
}

// The calls that take a handle and one name.
template <typename Action>
void HandleAndName(const char* function, Q9Session h, const char16_t* name, Action&& action) {
  Guarded([&] {
    Call call(function, h);
    call.line().Text(name);
    if (Session* session = call.session(); session && name) action(*session, Utf8(name));
  });
}

std::optional<CameraBlock> CopyCamera(const CameraTransform* camera) {
  if (!camera) return std::nullopt;
  CameraBlock block;
  std::memcpy(block.data(), camera, sizeof(CameraTransform));
  return block;
}

void SetProperty(Properties* properties, const char16_t* property, PropertyValue value) {
  if (properties && property) properties->Set(Utf8(property), std::move(value));
}

Properties* LightProperties(Session* session, int32_t kind, const char16_t* entity) {
  // Kind 1 is the light entity; entities of other kinds, and lights never added, are kept out of
  // the archive (the journal still shows the call).
  if (!session || kind != 1 || !entity) return nullptr;
  Light* light = session->lights.Find(Utf8(entity));
  return light ? &light->properties : nullptr;
}

Material* FindMaterial(Session* session, const char16_t* material) {
  return session && material ? session->materials.Find(Utf8(material)) : nullptr;
}

constexpr char16_t kVersionText[] = u"Q9Plugin-ref 1";

}  // namespace

}  // namespace q9plugin

using namespace q9plugin;

extern "C" {

void SetQ9RenderPath(const char16_t* path) {
  Guarded([&] {
    Call call("SetQ9RenderPath");
    call.line().Text(path);
  });
}

int32_t StartLinkQ9Render(const char16_t* modelBaseName) {
  return Guarded<int32_t>(0, [&] {
    Call call("StartLinkQ9Render");
    call.line().Text(modelBaseName);
    const int32_t result = IntSwitch("Q9PLUGIN_START_RESULT", 0);
    // A slow renderer start, so that requests can arrive while the model is being loaded.
    const int32_t delay = std::clamp(IntSwitch("Q9PLUGIN_START_DELAY_MS", 0), 0, 60000);
    if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    call.line().ReturnInt(result);
    return result;
  });
}

Q9Session CreateSession() {
  return Guarded<Q9Session>(nullptr, [&] {
    Call call("CreateSession");
    uintptr_t number = 0;
    if (!SwitchOn("Q9PLUGIN_NO_SESSION")) {
      auto& sessions = State().sessions;
      sessions.push_back(std::make_unique<Session>());
      number = sessions.size();
    }
    call.line().ReturnInt(static_cast<int64_t>(number));
    // The handle is the session's number: opaque to the caller, and what the journal shows.
    return reinterpret_cast<Q9Session>(number);
  });
}

void DestroySession(Q9Session h) {
  Guarded([&] {
    Call call("DestroySession", h);
    if (call.session()) State().sessions[call.number() - 1].reset();
  });
}

void Connect(Q9Session h) {
  HandleOnly("Connect", h, [](Session& s) { s.connected = true; });
}

bool HasConnected(Q9Session h) {
  return Guarded(false, [&] {
    Call call("HasConnected", h);
    const bool connected = call.session() && call.session()->connected &&
                           !SwitchOn("Q9PLUGIN_REFUSE_CONNECT");
    call.line().ReturnBool(connected);
    return connected;
  });
}

void SendModel(Q9Session h) { HandleOnly("SendModel", h, [](Session&) {}); }

void DisConnect(Q9Session h) {
  HandleOnly("DisConnect", h, [](Session& s) { s.connected = false; });
}

void SetModelFilePath(Q9Session h, const char16_t* modelBaseName) {
  HandleAndName("SetModelFilePath", h, modelBaseName,
                [](Session& s, std::string name) { s.modelName = std::move(name); });
}

void Q9GetRenderVersion(char16_t* buffer, int32_t count) {
  Guarded([&] {
    Call call("Q9GetRenderVersion");
    call.line().Int(count);
    if (!buffer || count <= 0) return;
    const size_t length = std::min<size_t>(std::char_traits<char16_t>::length(kVersionText),
                                           static_cast<size_t>(count) - 1);
    std::memcpy(buffer, kVersionText, length * sizeof(char16_t));
    buffer[length] = u'\0';
  });
}

void Q9SetMaterialVersion(Q9Session h, int32_t version) {
  Guarded([&] {
    Call call("Q9SetMaterialVersion", h);
    call.line().Int(version);
    if (Session* s = call.session()) s->materialVersion = version;
  });
}

void Q9SaveRawToQ9a(Q9Session h, const char16_t* path) {
  Guarded([&] {
    Call call("Q9SaveRawToQ9a", h);
    call.line().Text(path);
    if (Session* s = call.session(); s && path) ReplaceWholeFile(path, s->Archive());
  });
}

void SendScenes(Q9Session h, const char16_t* path) {
  HandleAndName("SendScenes", h, path, [](Session&, const std::string&) {});
}

void MaxBeginNode(Q9Session h, const char16_t* nodeName, const float* matrix, bool flag) {
  Guarded([&] {
    Call call("MaxBeginNode", h);
    call.line().Text(nodeName);
    call.line().Floats(matrix, 16);
    call.line().Bool(flag);
    Session* s = call.session();
    if (!s || !nodeName) return;
    Node node;
    if (matrix) {
      node.matrix.emplace();
      std::memcpy(node.matrix->data(), matrix, 16 * sizeof(float));
    }
    node.flag = flag;
    const std::string name = Utf8(nodeName);
    s->nodes.Set(name, std::move(node));
    s->openNode = name;
  });
}

void MaxAddTriangles(Q9Session h, const char16_t* meshName, int32_t triangleCount,
                     const void* array1, const void* array5, const void* array2, int32_t zero) {
  Guarded([&] {
    Call call("MaxAddTriangles", h);
    JournalLine& line = call.line();
    line.Text(meshName);
    line.Int(triangleCount);
    // Only the first array's length is known (nine values a triangle); of the others the first
    // value alone can be read safely.
    line.Words(array1, triangleCount > 0 ? int64_t{9} * triangleCount : 0);
    line.Words(array5, 1);
    line.Words(array2, 1);
    line.Int(zero);
    // The archive keeps the name and the count only: a model transfer must not pay for copying
    // its meshes a second time.
    Session* s = call.session();
    if (!s || !s->openNode) return;
    if (Node* node = s->nodes.Find(*s->openNode)) {
      node->meshes.push_back({Utf8(meshName), triangleCount});
    }
  });
}

void Q9EndNode(Q9Session h) {
  HandleOnly("Q9EndNode", h, [](Session& s) { s.openNode.reset(); });
}

void Q9SendProcessed(Q9Session h) { HandleOnly("Q9SendProcessed", h, [](Session&) {}); }

void MaxDeleteNode(Q9Session h, const char16_t* nodeName) {
  HandleAndName("MaxDeleteNode", h, nodeName,
                [](Session& s, const std::string& name) { s.nodes.Remove(name); });
}

void Q9DeleteNode(Q9Session h, const char16_t* nodeName) {
  HandleAndName("Q9DeleteNode", h, nodeName,
                [](Session& s, const std::string& name) { s.nodes.Remove(name); });
}

void Q9AddLight(Q9Session h, const char16_t* lightName) {
  HandleAndName("Q9AddLight", h, lightName,
                [](Session& s, const std::string& name) { s.lights.Set(name, Light{}); });
}

void Q9DeleteLight(Q9Session h, const char16_t* lightName) {
  HandleAndName("Q9DeleteLight", h, lightName,
                [](Session& s, const std::string& name) { s.lights.Remove(name); });
}

void Q9ClearLights(Q9Session h) {
  HandleOnly("Q9ClearLights", h, [](Session& s) { s.lights.Clear(); });
}

void Q9SendLights(Q9Session h) { HandleOnly("Q9SendLights", h, [](Session&) {}); }

void Q9SetEntityStringProperty(Q9Session h, int32_t kind, const char16_t* entity,
                               const char16_t* property, const char16_t* value) {
  Guarded([&] {
    Call call("Q9SetEntityStringProperty", h);
    JournalLine& line = call.line();
    line.Int(kind);
    line.Text(entity);
    line.Text(property);
    line.Text(value);
    if (value) SetProperty(LightProperties(call.session(), kind, entity), property, Utf8(value));
  });
}

void Q9SetEntityIntProperty(Q9Session h, int32_t kind, const char16_t* entity,
                            const char16_t* property, int32_t value) {
  Guarded([&] {
    Call call("Q9SetEntityIntProperty", h);
    JournalLine& line = call.line();
    line.Int(kind);
    line.Text(entity);
    line.Text(property);
    line.Int(value);
    SetProperty(LightProperties(call.session(), kind, entity), property, value);
  });
}

void Q9SetEntityFloatProperty(Q9Session h, int32_t kind, const char16_t* entity,
                              const char16_t* property, float value) {
  Guarded([&] {
    Call call("Q9SetEntityFloatProperty", h);
    JournalLine& line = call.line();
    line.Int(kind);
    line.Text(entity);
    line.Text(property);
    line.Float(value);
    SetProperty(LightProperties(call.session(), kind, entity), property, value);
  });
}

void Q9SetEntityFloatArrayProperty(Q9Session h, int32_t kind, const char16_t* entity,
                                   const char16_t* property, const float* values, int64_t count) {
  Guarded([&] {
    Call call("Q9SetEntityFloatArrayProperty", h);
    JournalLine& line = call.line();
    line.Int(kind);
    line.Text(entity);
    line.Text(property);
    line.Floats(values, count);
    line.Int(count);
    if (!values || count < 0) return;
    SetProperty(LightProperties(call.session(), kind, entity), property,
                std::vector<float>(values, values + count));
  });
}

void Q9AddMaterial(Q9Session h, const char16_t* material) {
  HandleAndName("Q9AddMaterial", h, material,
                [](Session& s, const std::string& name) { s.materials.Set(name, Material{}); });
}

void Q9ResetMaterial(Q9Session h, const char16_t* material) {
  // The renderer forgets the material; it comes back only with a new Q9AddMaterial.
  HandleAndName("Q9ResetMaterial", h, material,
                [](Session& s, const std::string& name) { s.materials.Remove(name); });
}

void Q9SetMaterialType(Q9Session h, const char16_t* material, int32_t type) {
  Guarded([&] {
    Call call("Q9SetMaterialType", h);
    call.line().Text(material);
    call.line().Int(type);
    if (Material* m = FindMaterial(call.session(), material)) m->type = type;
  });
}

void Q9SetMaterialStringProperty(Q9Session h, const char16_t* material, const char16_t* property,
                                 const char16_t* value) {
  Guarded([&] {
    Call call("Q9SetMaterialStringProperty", h);
    JournalLine& line = call.line();
    line.Text(material);
    line.Text(property);
    line.Text(value);
    Material* m = FindMaterial(call.session(), material);
    if (m && value) SetProperty(&m->properties, property, Utf8(value));
  });
}

void Q9SetMaterialIntProperty(Q9Session h, const char16_t* material, const char16_t* property,
                              int32_t value) {
  Guarded([&] {
    Call call("Q9SetMaterialIntProperty", h);
    JournalLine& line = call.line();
    line.Text(material);
    line.Text(property);
    line.Int(value);
    if (Material* m = FindMaterial(call.session(), material)) {
      SetProperty(&m->properties, property, value);
    }
  });
}

void Q9SetMaterialFloatProperty(Q9Session h, const char16_t* material, const char16_t* property,
                                float value) {
  Guarded([&] {
    Call call("Q9SetMaterialFloatProperty", h);
    JournalLine& line = call.line();
    line.Text(material);
    line.Text(property);
    line.Float(value);
    if (Material* m = FindMaterial(call.session(), material)) {
      SetProperty(&m->properties, property, value);
    }
  });
}

void AddScene(Q9Session h, const char16_t* sceneName, const char16_t* sceneName2,
              CameraTransform* camera, float fov) {
  Guarded([&] {
    Call call("AddScene", h);
    JournalLine& line = call.line();
    line.Text(sceneName);
    line.Text(sceneName2);
    line.Floats(reinterpret_cast<const float*>(camera), 10);
    line.Float(fov);
    Session* s = call.session();
    if (!s || !sceneName) return;
    s->scenes.Set(Utf8(sceneName), Scene{Utf8(sceneName2), PlacedCamera{CopyCamera(camera), fov}});
  });
}

void SendCameraTransformFov(Q9Session h, CameraTransform* camera, float fov) {
  Guarded([&] {
    Call call("SendCameraTransformFov", h);
    call.line().Floats(reinterpret_cast<const float*>(camera), 10);
    call.line().Float(fov);
    if (Session* s = call.session()) s->camera = PlacedCamera{CopyCamera(camera), fov};
  });
}

void Q9SendCamera(Q9Session h) { HandleOnly("Q9SendCamera", h, [](Session&) {}); }

void Q9ClearScenes(Q9Session h) {
  HandleOnly("Q9ClearScenes", h, [](Session& s) { s.scenes.Clear(); });
}

void Q9DeleteScene(Q9Session h, const char16_t* sceneName) {
  HandleAndName("Q9DeleteScene", h, sceneName,
                [](Session& s, const std::string& name) { s.scenes.Remove(name); });
}

}  // extern "C"

// Every export must exist: taking the address of each one makes a missing definition a link
// error rather than a function the link session cannot find.
namespace q9plugin {
extern const q9::LinkFunctions kExports;
const q9::LinkFunctions kExports = {
#define Q9PLUGIN_ADDRESS(result, name, parameters, arguments) &::name,
    Q9_LINK_FUNCTIONS(Q9PLUGIN_ADDRESS)
#undef Q9PLUGIN_ADDRESS
};
}  // namespace q9plugin
