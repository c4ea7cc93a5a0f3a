#include "received/raw_archive.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/json_writer.h"

namespace q9x {

namespace {

// The archive's text: JSON indented by two blanks a level, every array that holds no array or
// object on one line (so that a matrix or a colour reads as one row). The layout and the numbers
// are the ones a JSON library gives with an indent of 2, so readers that compare archives as
// text keep working; floats are the shortest decimal that reads back to the same float (whole
// numbers as "60.0"), NaN and the infinities the texts "nan", "inf" and "-inf".
q9::JsonOptions ArchiveOptions() {
  q9::JsonOptions options;
  options.indented = true;
  options.reals = q9::JsonReals::WithPoint;
  options.nonFinite = q9::JsonNonFinite::Text;
  return options;
}

void WriteProperties(q9::JsonWriter& out, const ReceivedProperties& properties) {
  out.BeginObject();
  for (const auto& [name, value] : properties) {
    out.Key(name);
    std::visit(
        [&](const auto& v) {
          using V = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<V, float>) {
            out.Number(v);
          } else if constexpr (std::is_same_v<V, std::vector<float>>) {
            out.Numbers(v.data(), v.size());
          } else if constexpr (std::is_same_v<V, int32_t>) {
            out.Int(v);
          } else {
            out.String(v);
          }
        },
        value);
  }
  out.EndObject();
}

// "camera" (the block, null for a null pointer) and "fov" (the separate argument).
void WritePlacement(q9::JsonWriter& out, const std::optional<ReceivedCamera>& camera, float fov) {
  out.Key("camera");
  if (camera) {
    const CameraBlock block = camera->Block();
    out.BeginObject();
    out.Key("from");
    out.Numbers(block.data(), 3);
    out.Key("to");
    out.Numbers(block.data() + 3, 3);
    out.Key("up");
    out.Numbers(block.data() + 6, 3);
    out.Key("fov");
    out.Number(block[9]);
    out.EndObject();
  } else {
    out.Null();
  }
  out.Key("fov");
  out.Number(fov);
}

// Writes `value`, or null without one.
void WriteOptional(q9::JsonWriter& out, const std::optional<int32_t>& value) {
  if (value) {
    out.Int(*value);
  } else {
    out.Null();
  }
}

void WriteMaterials(q9::JsonWriter& out, const ReceivedScene& scene) {
  out.BeginArray();
  for (const auto& [name, material] : scene.materials) {
    out.BeginObject();
    out.Key("name");
    out.String(name);
    out.Key("type");
    WriteOptional(out, material.type);
    out.Key("properties");
    WriteProperties(out, material.properties);
    out.EndObject();
  }
  out.EndArray();
}

void WriteLights(q9::JsonWriter& out, const ReceivedScene& scene) {
  out.BeginArray();
  for (const auto& [name, light] : scene.lights) {
    out.BeginObject();
    out.Key("name");
    out.String(name);
    out.Key("properties");
    WriteProperties(out, light.properties);
    out.EndObject();
  }
  out.EndArray();
}

// Each node with its matrix, flag and meshes (their names and triangle counts).
void WriteNodes(q9::JsonWriter& out, const ReceivedScene& scene) {
  out.BeginArray();
  for (const auto& [name, node] : scene.nodes) {
    out.BeginObject();
    out.Key("name");
    out.String(name);
    out.Key("matrix");
    if (node.matrix) {
      out.Numbers(node.matrix->data(), 16);
    } else {
      out.Null();
    }
    out.Key("flag");
    out.Bool(node.flag);
    out.Key("triangles");
    out.Int(node.Triangles());
    out.Key("meshes");
    out.BeginArray();
    for (const ReceivedMesh& mesh : node.meshes) {
      out.BeginObject();
      out.Key("name");
      out.String(mesh.name);
      out.Key("triangles");
      out.Int(mesh.triangles);
      out.EndObject();
    }
    out.EndArray();
    out.EndObject();
  }
  out.EndArray();
}

void WriteScenes(q9::JsonWriter& out, const ReceivedScene& scene) {
  out.BeginArray();
  for (const auto& [name, entry] : scene.scenes) {
    out.BeginObject();
    out.Key("name");
    out.String(name);
    out.Key("displayName");
    out.String(entry.displayName);
    WritePlacement(out, entry.camera, entry.fov);
    out.EndObject();
  }
  out.EndArray();
}

// The last SendCameraTransformFov: its placement, or null before any.
void WriteCurrentCamera(q9::JsonWriter& out, const ReceivedScene& scene) {
  if (scene.cameraWithoutBlock) {
    out.BeginObject();
    WritePlacement(out, std::nullopt, *scene.cameraWithoutBlock);
    out.EndObject();
  } else if (scene.camera) {
    out.BeginObject();
    WritePlacement(out, scene.camera, scene.camera->fov);
    out.EndObject();
  } else {
    out.Null();
  }
}

}  // namespace

bool WriteArchive(const ReceivedScene& scene, std::FILE* file, q9::platform::FileError* error) {
  q9::platform::FileError failure;  // of the first write that failed; none is tried after it
  q9::JsonWriter out([file, &failure](std::string_view text) { return q9::platform::WriteToFile(file, text, &failure); },
                 ArchiveOptions());
  out.BeginObject();
  out.Key("format");
  out.String("Q9Plugin reference raw archive");
  out.Key("version");
  out.Int(1);
  out.Key("model");
  out.String(scene.model);
  out.Key("materialVersion");
  WriteOptional(out, scene.materialVersion);
  out.Key("materials");
  WriteMaterials(out, scene);
  out.Key("lights");
  WriteLights(out, scene);
  out.Key("nodes");
  WriteNodes(out, scene);
  out.Key("scenes");
  WriteScenes(out, scene);
  out.Key("camera");
  WriteCurrentCamera(out, scene);
  out.EndObject();
  out << "\n";
  if (out.Flush()) return true;
  if (error) *error = failure;
  return false;
}

namespace {

// In the document's own order, so that properties keep theirs.
using json = nlohmann::ordered_json;

// A source's bytes one at a time, as the JSON reader takes them.
class SourceBytes {
 public:
  explicit SourceBytes(const ByteSource& source) : source_(source), block_(1 << 16) {}
  bool Fill() {
    if (at_ < size_) return true;
    at_ = 0;
    size_ = source_(block_.data(), block_.size());
    return size_ > 0;
  }
  const char& Current() const { return block_[at_]; }
  bool Advance() {
    ++at_;
    return Fill();
  }

 private:
  const ByteSource& source_;
  std::vector<char> block_;
  size_t at_ = 0, size_ = 0;
};

class SourceIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  SourceIterator() = default;
  explicit SourceIterator(SourceBytes& bytes) : bytes_(bytes.Fill() ? &bytes : nullptr) {}
  reference operator*() const { return bytes_->Current(); }
  SourceIterator& operator++() {
    if (!bytes_->Advance()) bytes_ = nullptr;
    return *this;
  }
  SourceIterator operator++(int) {
    SourceIterator before = *this;
    ++*this;
    return before;
  }
  bool operator==(const SourceIterator& other) const { return bytes_ == other.bytes_; }

 private:
  SourceBytes* bytes_ = nullptr;
};

float FloatOf(const json& value) {
  if (value.is_number()) return value.get<float>();
  if (value.is_string()) {
    const std::string& text = value.get_ref<const std::string&>();
    if (text == "inf") return std::numeric_limits<float>::infinity();
    if (text == "-inf") return -std::numeric_limits<float>::infinity();
  }
  return std::numeric_limits<float>::quiet_NaN();
}

std::string TextOf(const json& value) { return value.is_string() ? value.get<std::string>() : ""; }

int32_t IntOf(const json& value) {
  return value.is_number_integer() ? static_cast<int32_t>(value.get<int64_t>()) : 0;
}

// A member's text; "?" when the member is missing.
std::string NameOf(const json& entry) { return TextOf(entry.value("name", json("?"))); }

// The floats of an array of exactly `count` values.
template <size_t count>
std::optional<std::array<float, count>> FloatsOf(const json& value) {
  if (!value.is_array() || value.size() != count) return std::nullopt;
  std::array<float, count> floats;
  for (size_t i = 0; i < count; ++i) floats[i] = FloatOf(value[i]);
  return floats;
}

// A property as the archive shows it: a text, an integer, a float or floats; nothing for another
// kind of value.
std::optional<PropertyValue> PropertyOf(const json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_number_integer()) {
    const int64_t number = value.is_number_unsigned() && value.get<uint64_t>() > INT64_MAX
                               ? INT64_MAX : value.get<int64_t>();
    if (number >= INT32_MIN && number <= INT32_MAX) return static_cast<int32_t>(number);
    return static_cast<float>(number);
  }
  if (value.is_number()) return value.get<float>();
  if (value.is_array()) {
    std::vector<float> floats;
    floats.reserve(value.size());
    for (const json& element : value) floats.push_back(FloatOf(element));
    return floats;
  }
  return std::nullopt;
}

void ReadProperties(const json& from, ReceivedProperties& properties) {
  if (!from.is_object()) return;
  for (const auto& [name, value] : from.items()) {
    if (std::optional<PropertyValue> property = PropertyOf(value)) properties.Set(name, std::move(*property));
  }
}

// A placement's camera: "from", "to", "up" and "fov" of the block, with the separate fov.
std::optional<ReceivedCamera> CameraOf(const json& placement, const json& fov) {
  if (!placement.is_object()) return std::nullopt;
  std::vector<float> floats;
  for (const char* key : {"from", "to", "up"}) {
    const json values = placement.value(key, json::array());
    if (!values.is_array()) continue;
    for (const json& v : values) floats.push_back(FloatOf(v));
  }
  floats.push_back(FloatOf(placement.value("fov", json(0))));
  if (floats.size() != 10) return std::nullopt;
  CameraBlock block;
  std::copy(floats.begin(), floats.end(), block.begin());
  return ReceivedCamera::Of(block, fov.is_null() ? block[9] : FloatOf(fov));
}

void ReadMaterial(const json& m, ReceivedScene& scene) {
  ReceivedMaterial material;
  if (m.contains("type") && m["type"].is_number_integer()) material.type = IntOf(m["type"]);
  ReadProperties(m.value("properties", json::object()), material.properties);
  scene.materials.Set(NameOf(m), std::move(material));
}

void ReadLight(const json& l, ReceivedScene& scene) {
  ReceivedLight light;
  ReadProperties(l.value("properties", json::object()), light.properties);
  scene.lights.Set(NameOf(l), std::move(light));
}

void ReadNode(const json& n, ReceivedScene& scene) {
  ReceivedNode node;
  node.matrix = FloatsOf<16>(n.value("matrix", json()));
  const json flag = n.value("flag", json(false));
  node.flag = flag.is_boolean() && flag.get<bool>();
  const json meshes = n.value("meshes", json::array());
  if (meshes.is_array() || meshes.is_object()) {
    for (const json& m : meshes) {
      if (!m.is_object()) continue;
      ReceivedMesh& mesh = node.meshes.emplace_back();
      mesh.name = NameOf(m);
      mesh.triangles = IntOf(m.value("triangles", json(0)));
    }
  }
  scene.nodes.Set(NameOf(n), std::move(node));
}

void ReadSceneEntry(const json& s, ReceivedScene& scene) {
  ReceivedSceneEntry entry;
  entry.displayName = TextOf(s.value("displayName", json()));
  const json fov = s.value("fov", json());
  entry.camera = CameraOf(s.value("camera", json()), fov);
  entry.fov = entry.camera ? entry.camera->fov : fov.is_null() ? 0.0f : FloatOf(fov);
  scene.scenes.Set(NameOf(s), std::move(entry));
}

}  // namespace

std::optional<ReceivedScene> ReadArchive(const ByteSource& source) {
  ReceivedScene scene;
  std::string member;  // the member of the document being read
  // The entries of the lists go into the scene one by one and are dropped from the document.
  // Nothing else is kept: members the archive does not have, and a document that is no object,
  // are read and dropped.
  const json::parser_callback_t take = [&](int depth, json::parse_event_t event, json& parsed) {
    using Event = json::parse_event_t;
    const bool starts = event == Event::object_start || event == Event::array_start || event == Event::value;
    if (depth == 0) return event != Event::array_start;
    if (depth == 1 && event == Event::key) {
      member = parsed.get<std::string>();
      return true;
    }
    void (*read)(const json&, ReceivedScene&) = member == "materials" ? ReadMaterial
                                                : member == "lights"  ? ReadLight
                                                : member == "nodes"   ? ReadNode
                                                : member == "scenes"  ? ReadSceneEntry
                                                                      : nullptr;
    if (depth == 1 && starts) {
      return read || member == "format" || member == "version" || member == "model" ||
             member == "materialVersion" || member == "camera";
    }
    if (depth != 2 || !read || (event != Event::object_end && event != Event::array_end && event != Event::value)) {
      return true;
    }
    if (parsed.is_object()) read(parsed, scene);
    return false;
  };
  SourceBytes bytes(source);
  const json document = json::parse(SourceIterator(bytes), SourceIterator(), take, false);
  if (!document.is_object() || !document.contains("format")) return std::nullopt;

  scene.model = TextOf(document.value("model", json()));
  const json version = document.value("materialVersion", json());
  if (version.is_number_integer()) scene.materialVersion = IntOf(version);
  const json camera = document.value("camera", json());
  if (camera.is_object()) {
    const json fov = camera.value("fov", json());
    const json placement = camera.value("camera", json());
    if (placement.is_object()) {
      scene.camera = CameraOf(placement, fov);
    } else if (placement.is_null() && camera.contains("fov")) {
      scene.cameraWithoutBlock = FloatOf(fov);
    }
  }
  return scene;
}

}  // namespace q9x
