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

#include "received/json_escape.h"

namespace q9x {

namespace {

// The archive's text as it goes out: JSON indented by two blanks a level, every array that holds
// no array or object on one line (so that a matrix or a colour reads as one row), written to the
// file in blocks. The layout is the one a JSON library gives with an indent of 2, so readers
// that compare archives as text keep working.
class ArchiveWriter {
 public:
  explicit ArchiveWriter(std::FILE* file) : file_(file) { text_.reserve(kBlock + 4096); }

  void BeginObject() { Open('{', false); }
  void EndObject() { Close('}'); }
  // `leaf`: the array holds only numbers, texts, booleans or nulls.
  void BeginArray(bool leaf) { Open('[', leaf); }
  void EndArray() { Close(']'); }

  void Key(std::string_view key) {
    Next();
    String(key, false);
    text_ += ": ";
    afterKey_ = true;
  }

  void String(std::string_view text, bool asValue = true) {
    if (asValue) Next();
    text_ += '"';
    AppendJsonEscaped(text_, text);
    text_ += '"';
  }

  void Int(int64_t value) {
    Next();
    char buffer[24];
    text_.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
  }

  void Bool(bool value) {
    Next();
    text_ += value ? "true" : "false";
  }

  void Null() {
    Next();
    text_ += "null";
  }

  // The shortest decimal that reads back to the same float, printed as the double of that
  // decimal (so whole numbers as "60.0"); NaN and the infinities as texts.
  void Float(float value) {
    if (std::isnan(value)) return String("nan");
    if (std::isinf(value)) return String(value > 0 ? "inf" : "-inf");
    Next();
    // Whole numbers a float holds exactly (the zeros and ones of most matrices) without the
    // round trip through the decimal: the same text, "-0.0", "0.0", "60.0".
    if (std::fabs(value) < 16777216.0f && value == std::trunc(value)) {
      if (value == 0) {
        text_ += std::signbit(value) ? "-0.0" : "0.0";
      } else {
        char digits[16];
        text_.append(digits, std::to_chars(digits, digits + sizeof digits, static_cast<int32_t>(value)).ptr);
        text_ += ".0";
      }
      return;
    }
    char shortest[32];
    const auto written = std::to_chars(shortest, shortest + sizeof shortest, value);
    double widened = 0;
    std::from_chars(shortest, written.ptr, widened);
    char buffer[64];
    text_.append(buffer, nlohmann::detail::to_chars(buffer, buffer + sizeof buffer, widened));
  }

  void Floats(const float* values, size_t count) {
    BeginArray(true);
    for (size_t i = 0; i < count; ++i) Float(values[i]);
    EndArray();
  }

  // Writes what is left; false when any write failed, with the reason of the first in `error`.
  bool Finish(q9::platform::FileError* error) {
    text_ += '\n';
    Flush();
    if (!ok_ && error) *error = failure_;
    return ok_;
  }

 private:
  static constexpr size_t kBlock = 1 << 16;

  struct Level {
    bool leaf;
    size_t count = 0;
  };

  void Open(char bracket, bool leaf) {
    Next();
    text_ += bracket;
    levels_.push_back({leaf});
  }

  void Close(char bracket) {
    const Level level = levels_.back();
    levels_.pop_back();
    if (level.count > 0 && !level.leaf) Indent();
    text_ += bracket;
    if (text_.size() >= kBlock) Flush();
  }

  // Before a member, an element, or a key's value.
  void Next() {
    if (afterKey_) {
      afterKey_ = false;
      return;
    }
    if (levels_.empty()) return;
    Level& level = levels_.back();
    if (level.count++ > 0) text_ += level.leaf ? ", " : ",";
    if (!level.leaf) Indent();
  }

  void Indent() {
    text_ += '\n';
    text_.append(2 * levels_.size(), ' ');
  }

  void Flush() {
    if (ok_ && !q9::platform::WriteToFile(file_, text_, &failure_)) ok_ = false;
    text_.clear();
  }

  std::FILE* file_;
  std::string text_;
  std::vector<Level> levels_;
  bool afterKey_ = false;
  bool ok_ = true;
  q9::platform::FileError failure_;
};

void WriteProperties(ArchiveWriter& out, const ReceivedProperties& properties) {
  out.BeginObject();
  for (const auto& [name, value] : properties) {
    out.Key(name);
    std::visit(
        [&](const auto& v) {
          using V = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<V, float>) {
            out.Float(v);
          } else if constexpr (std::is_same_v<V, std::vector<float>>) {
            out.Floats(v.data(), v.size());
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
void WritePlacement(ArchiveWriter& out, const std::optional<ReceivedCamera>& camera, float fov) {
  out.Key("camera");
  if (camera) {
    const CameraBlock block = camera->Block();
    out.BeginObject();
    out.Key("from");
    out.Floats(block.data(), 3);
    out.Key("to");
    out.Floats(block.data() + 3, 3);
    out.Key("up");
    out.Floats(block.data() + 6, 3);
    out.Key("fov");
    out.Float(block[9]);
    out.EndObject();
  } else {
    out.Null();
  }
  out.Key("fov");
  out.Float(fov);
}

}  // namespace

bool WriteArchive(const ReceivedScene& scene, std::FILE* file, q9::platform::FileError* error) {
  ArchiveWriter out(file);
  out.BeginObject();
  out.Key("format");
  out.String("Q9Plugin reference raw archive");
  out.Key("version");
  out.Int(1);
  out.Key("model");
  out.String(scene.model);
  out.Key("materialVersion");
  if (scene.materialVersion) {
    out.Int(*scene.materialVersion);
  } else {
    out.Null();
  }

  out.Key("materials");
  out.BeginArray(false);
  for (const auto& [name, material] : scene.materials) {
    out.BeginObject();
    out.Key("name");
    out.String(name);
    out.Key("type");
    if (material.type) {
      out.Int(*material.type);
    } else {
      out.Null();
    }
    out.Key("properties");
    WriteProperties(out, material.properties);
    out.EndObject();
  }
  out.EndArray();

  out.Key("lights");
  out.BeginArray(false);
  for (const auto& [name, light] : scene.lights) {
    out.BeginObject();
    out.Key("name");
    out.String(name);
    out.Key("properties");
    WriteProperties(out, light.properties);
    out.EndObject();
  }
  out.EndArray();

  out.Key("nodes");
  out.BeginArray(false);
  for (const auto& [name, node] : scene.nodes) {
    out.BeginObject();
    out.Key("name");
    out.String(name);
    out.Key("matrix");
    if (node.matrix) {
      out.Floats(node.matrix->data(), 16);
    } else {
      out.Null();
    }
    out.Key("flag");
    out.Bool(node.flag);
    out.Key("triangles");
    out.Int(node.Triangles());
    out.Key("meshes");
    out.BeginArray(false);
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

  out.Key("scenes");
  out.BeginArray(false);
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

  out.Key("camera");
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
  out.EndObject();
  return out.Finish(error);
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
