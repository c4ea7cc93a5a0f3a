#include "session_model.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <type_traits>

#include <nlohmann/json.hpp>

#include "base/platform.h"

namespace q9plugin {

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
    for (const char c : text) {
      switch (c) {
        case '"': text_ += "\\\""; break;
        case '\\': text_ += "\\\\"; break;
        case '\b': text_ += "\\b"; break;
        case '\f': text_ += "\\f"; break;
        case '\n': text_ += "\\n"; break;
        case '\r': text_ += "\\r"; break;
        case '\t': text_ += "\\t"; break;
        default:
          if (static_cast<unsigned char>(c) < 0x20) {
            static const char digits[] = "0123456789abcdef";
            text_ += "\\u00";
            text_ += digits[(c >> 4) & 0xF];
            text_ += digits[c & 0xF];
          } else {
            text_ += c;
          }
      }
    }
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

void WriteProperties(ArchiveWriter& out, const Properties& properties) {
  out.BeginObject();
  properties.ForEach([&](const std::string& name, const PropertyValue& value) {
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
  });
  out.EndObject();
}

// "camera" (the block, null for a null pointer) and "fov" (the separate argument).
void WritePlacement(ArchiveWriter& out, const PlacedCamera& placement) {
  out.Key("camera");
  if (placement.camera) {
    const CameraBlock& block = *placement.camera;
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
  out.Float(placement.fov);
}

}  // namespace

bool WriteArchive(const Session& session, std::FILE* file, q9::platform::FileError* error) {
  ArchiveWriter out(file);
  out.BeginObject();
  out.Key("format");
  out.String("Q9Plugin reference raw archive");
  out.Key("version");
  out.Int(1);
  out.Key("model");
  out.String(session.modelName);
  out.Key("materialVersion");
  if (session.materialVersion) {
    out.Int(*session.materialVersion);
  } else {
    out.Null();
  }

  out.Key("materials");
  out.BeginArray(false);
  session.materials.ForEach([&](const std::string& name, const Material& material) {
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
  });
  out.EndArray();

  out.Key("lights");
  out.BeginArray(false);
  session.lights.ForEach([&](const std::string& name, const Light& light) {
    out.BeginObject();
    out.Key("name");
    out.String(name);
    out.Key("properties");
    WriteProperties(out, light.properties);
    out.EndObject();
  });
  out.EndArray();

  out.Key("nodes");
  out.BeginArray(false);
  session.nodes.ForEach([&](const std::string& name, const Node& node) {
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
    int64_t triangles = 0;
    for (const Mesh& mesh : node.meshes) triangles += mesh.triangles;
    out.Key("triangles");
    out.Int(triangles);
    out.Key("meshes");
    out.BeginArray(false);
    for (const Mesh& mesh : node.meshes) {
      out.BeginObject();
      out.Key("name");
      out.String(mesh.name);
      out.Key("triangles");
      out.Int(mesh.triangles);
      out.EndObject();
    }
    out.EndArray();
    out.EndObject();
  });
  out.EndArray();

  out.Key("scenes");
  out.BeginArray(false);
  session.scenes.ForEach([&](const std::string& name, const Scene& scene) {
    out.BeginObject();
    out.Key("name");
    out.String(name);
    out.Key("displayName");
    out.String(scene.displayName);
    WritePlacement(out, scene.placement);
    out.EndObject();
  });
  out.EndArray();

  out.Key("camera");
  if (session.camera) {
    out.BeginObject();
    WritePlacement(out, *session.camera);
    out.EndObject();
  } else {
    out.Null();
  }
  out.EndObject();
  return out.Finish(error);
}

}  // namespace q9plugin
