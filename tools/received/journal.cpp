#include "received/journal.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "received/json_escape.h"

namespace q9x {

namespace {

using nlohmann::json;

LinkFunction FunctionOf(std::string_view name) {
  static const std::unordered_map<std::string_view, LinkFunction> kFunctions = {
      {"CreateSession", LinkFunction::CreateSession},
      {"SetModelFilePath", LinkFunction::SetModelFilePath},
      {"Q9SetMaterialVersion", LinkFunction::Q9SetMaterialVersion},
      {"Q9AddMaterial", LinkFunction::Q9AddMaterial},
      {"Q9ResetMaterial", LinkFunction::Q9ResetMaterial},
      {"Q9SetMaterialType", LinkFunction::Q9SetMaterialType},
      {"Q9SetMaterialStringProperty", LinkFunction::Q9SetMaterialStringProperty},
      {"Q9SetMaterialIntProperty", LinkFunction::Q9SetMaterialIntProperty},
      {"Q9SetMaterialFloatProperty", LinkFunction::Q9SetMaterialFloatProperty},
      {"Q9AddLight", LinkFunction::Q9AddLight},
      {"Q9DeleteLight", LinkFunction::Q9DeleteLight},
      {"Q9ClearLights", LinkFunction::Q9ClearLights},
      {"Q9SetEntityStringProperty", LinkFunction::Q9SetEntityStringProperty},
      {"Q9SetEntityIntProperty", LinkFunction::Q9SetEntityIntProperty},
      {"Q9SetEntityFloatProperty", LinkFunction::Q9SetEntityFloatProperty},
      {"Q9SetEntityFloatArrayProperty", LinkFunction::Q9SetEntityFloatArrayProperty},
      {"MaxBeginNode", LinkFunction::MaxBeginNode},
      {"MaxAddTriangles", LinkFunction::MaxAddTriangles},
      {"Q9EndNode", LinkFunction::Q9EndNode},
      {"MaxDeleteNode", LinkFunction::MaxDeleteNode},
      {"Q9DeleteNode", LinkFunction::Q9DeleteNode},
      {"AddScene", LinkFunction::AddScene},
      {"Q9DeleteScene", LinkFunction::Q9DeleteScene},
      {"Q9ClearScenes", LinkFunction::Q9ClearScenes},
      {"SendCameraTransformFov", LinkFunction::SendCameraTransformFov},
  };
  const auto at = kFunctions.find(name);
  return at == kFunctions.end() ? LinkFunction::Other : at->second;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The length of the UTF-8 sequence at `p` (1 to 4 bytes, as RFC 3629 allows them), 0 when it is
// not one.
size_t Utf8Length(const char* p, const char* end) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(p[i]); };
  const auto follows = [&](size_t i, unsigned low = 0x80, unsigned high = 0xBF) {
    return p + i < end && byte(i) >= low && byte(i) <= high;
  };
  const unsigned lead = byte(0);
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return follows(1) ? 2 : 0;
  if (lead == 0xE0) return follows(1, 0xA0) && follows(2) ? 3 : 0;
  if (lead == 0xED) return follows(1, 0x80, 0x9F) && follows(2) ? 3 : 0;
  if (lead >= 0xE1 && lead <= 0xEF) return follows(1) && follows(2) ? 3 : 0;
  if (lead == 0xF0) return follows(1, 0x90) && follows(2) && follows(3) ? 4 : 0;
  if (lead >= 0xF1 && lead <= 0xF3) return follows(1) && follows(2) && follows(3) ? 4 : 0;
  if (lead == 0xF4) return follows(1, 0x80, 0x8F) && follows(2) && follows(3) ? 4 : 0;
  return 0;
}

// Reads a line of the shape the reference library writes:
//   {"fn":"NAME"[,"h":N][,"args":[VALUE,...]][,"ret":SCALAR]}
// where a VALUE is a scalar or an array of scalars, with no blanks. Anything else, and anything a
// JSON reader might read otherwise (escapes \u, integers beyond 19 digits), it leaves to the
// general reader: a line it accepts is valid JSON and gives the values a JSON reader gives.
class ShapedLine {
 public:
  ShapedLine(std::string_view line, std::string& texts)
      : p_(line.data()), end_(line.data() + line.size()), size_(line.size()), texts_(texts) {}

  bool Literal(std::string_view text) {
    if (static_cast<size_t>(end_ - p_) < text.size() || std::memcmp(p_, text.data(), text.size()) != 0) {
      return false;
    }
    p_ += text.size();
    return true;
  }
  bool AtEnd() const { return p_ == end_; }
  bool Next(char c) {
    if (p_ < end_ && *p_ == c) {
      ++p_;
      return true;
    }
    return false;
  }

  // A function name: letters, digits and underscores up to the closing quote.
  bool Name(std::string_view& name) {
    const char* start = p_;
    while (p_ < end_ && (std::isalnum(static_cast<unsigned char>(*p_)) || *p_ == '_')) ++p_;
    name = std::string_view(start, static_cast<size_t>(p_ - start));
    return Next('"');
  }

  // A scalar, or with `elements` also an array of scalars.
  bool Value(JournalValue& value, std::vector<JournalValue>* elements) {
    if (p_ >= end_) return false;
    switch (*p_) {
      case '"':
        return Text(value);
      case 'n':
        value.kind = JournalValue::Kind::Null;
        return Literal("null");
      case 't':
        value.kind = JournalValue::Kind::Bool;
        value.boolean = true;
        return Literal("true");
      case 'f':
        value.kind = JournalValue::Kind::Bool;
        value.boolean = false;
        return Literal("false");
      case '[':
        return elements && Array(value, *elements);
      default:
        return Number(value);
    }
  }

  bool Number(JournalValue& value) {
    const char* start = p_;
    const bool negative = Next('-');
    if (p_ >= end_ || !IsDigit(*p_)) return false;
    uint64_t magnitude = 0;
    int digits = 0;
    if (*p_ == '0') {
      ++p_;
      digits = 1;
    } else {
      for (; p_ < end_ && IsDigit(*p_); ++p_, ++digits) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(*p_ - '0');
        if (digits == 19) return false;  // 20 digits or more: the general reader decides
      }
    }
    bool real = false;
    if (Next('.')) {
      real = true;
      if (!Digits()) return false;
    }
    if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
      real = true;
      ++p_;
      if (!Next('+')) Next('-');
      if (!Digits()) return false;
    }
    if (real) {
      double number = 0;
      const auto result = std::from_chars(start, p_, number);
      if (result.ec != std::errc() || result.ptr != p_) return false;
      value.kind = JournalValue::Kind::Real;
      value.realValue = number;
    } else if (!negative) {
      value.kind = JournalValue::Kind::Unsigned;
      value.unsignedValue = magnitude;
    } else {
      constexpr uint64_t kLowest = uint64_t{1} << 63;
      if (magnitude > kLowest) return false;  // below what a signed 64-bit integer holds
      value.kind = JournalValue::Kind::Signed;
      value.signedValue = magnitude == kLowest ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(magnitude);
    }
    return true;
  }

 private:
  bool Digits() {
    const char* start = p_;
    while (p_ < end_ && IsDigit(*p_)) ++p_;
    return p_ > start;
  }

  bool Array(JournalValue& array, std::vector<JournalValue>& elements) {
    ++p_;
    array.kind = JournalValue::Kind::Array;
    array.first = elements.size();
    array.size = 0;
    if (Next(']')) return true;
    for (;;) {
      if (array.size == std::numeric_limits<uint32_t>::max()) return false;
      if (!Value(elements.emplace_back(), nullptr)) return false;
      ++array.size;
      if (Next(',')) continue;
      return Next(']');
    }
  }

  bool Text(JournalValue& value) {
    const char* start = ++p_;
    while (p_ < end_) {
      const unsigned char c = static_cast<unsigned char>(*p_);
      if (c == '"') {
        value.kind = JournalValue::Kind::Text;
        value.text = start;
        value.size = static_cast<uint32_t>(p_ - start);
        ++p_;
        return true;
      }
      if (c == '\\' || c < 0x20 || c >= 0x80) break;
      ++p_;
    }
    // Escapes or bytes beyond ASCII: decoded into the texts of the line, which have room for the
    // whole line, so that no text already decoded moves.
    if (texts_.capacity() < size_) texts_.reserve(size_);
    const size_t begin = texts_.size();
    texts_.append(start, p_);
    while (p_ < end_) {
      const unsigned char c = static_cast<unsigned char>(*p_);
      if (c == '"') {
        value.kind = JournalValue::Kind::Text;
        value.text = texts_.data() + begin;
        value.size = static_cast<uint32_t>(texts_.size() - begin);
        ++p_;
        return true;
      }
      if (c < 0x20) return false;
      if (c == '\\') {
        if (++p_ >= end_) return false;
        char decoded;
        switch (*p_) {
          case '"': decoded = '"'; break;
          case '\\': decoded = '\\'; break;
          case '/': decoded = '/'; break;
          case 'b': decoded = '\b'; break;
          case 'f': decoded = '\f'; break;
          case 'n': decoded = '\n'; break;
          case 'r': decoded = '\r'; break;
          case 't': decoded = '\t'; break;
          default: return false;  // \u and anything else: the general reader
        }
        texts_ += decoded;
        ++p_;
        continue;
      }
      const size_t length = Utf8Length(p_, end_);
      if (length == 0) return false;
      texts_.append(p_, length);
      p_ += length;
    }
    return false;
  }

  const char* p_;
  const char* end_;
  size_t size_;
  std::string& texts_;
};

JournalValue Converted(const json& from, std::vector<JournalValue>& elements) {
  JournalValue value;
  switch (from.type()) {
    case json::value_t::boolean:
      value.kind = JournalValue::Kind::Bool;
      value.boolean = from.get<bool>();
      break;
    case json::value_t::number_unsigned:
      value.kind = JournalValue::Kind::Unsigned;
      value.unsignedValue = from.get<uint64_t>();
      break;
    case json::value_t::number_integer:
      value.kind = JournalValue::Kind::Signed;
      value.signedValue = from.get<int64_t>();
      break;
    case json::value_t::number_float:
      value.kind = JournalValue::Kind::Real;
      value.realValue = from.get<double>();
      break;
    case json::value_t::string: {
      const std::string& text = from.get_ref<const std::string&>();
      if (text.size() > std::numeric_limits<uint32_t>::max()) break;
      value.kind = JournalValue::Kind::Text;
      value.text = text.data();
      value.size = static_cast<uint32_t>(text.size());
      break;
    }
    case json::value_t::array: {
      if (from.size() > std::numeric_limits<uint32_t>::max()) break;
      value.kind = JournalValue::Kind::Array;
      value.first = elements.size();
      value.size = static_cast<uint32_t>(from.size());
      elements.resize(elements.size() + from.size());
      for (size_t i = 0; i < from.size(); ++i) {
        const JournalValue element = Converted(from[i], elements);
        elements[value.first + i] = element;
      }
      break;
    }
    case json::value_t::object:
      value.kind = JournalValue::Kind::Object;
      break;
    default:
      break;
  }
  return value;
}

// --- showing calls as `summary` does ---

// Arrays longer than this are shown by their length.
constexpr size_t kShownValues = 6;

// A scalar as a JSON writer prints the value a JSON reader made of it.
void AppendScalar(std::string& out, const JournalValue& value) {
  char buffer[64];
  switch (value.kind) {
    case JournalValue::Kind::Bool:
      out += value.boolean ? "true" : "false";
      return;
    case JournalValue::Kind::Unsigned:
      out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value.unsignedValue).ptr);
      return;
    case JournalValue::Kind::Signed:
      out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value.signedValue).ptr);
      return;
    case JournalValue::Kind::Real:
      if (!std::isfinite(value.realValue)) break;
      out.append(buffer, nlohmann::detail::to_chars(buffer, buffer + sizeof buffer, value.realValue));
      return;
    case JournalValue::Kind::Text:
      out += '"';
      AppendJsonEscaped(out, std::string_view(value.text, value.size));
      out += '"';
      return;
    case JournalValue::Kind::Object:
      out += "{}";
      return;
    default:
      break;
  }
  out += "null";
}

void AppendCount(std::string& out, size_t count) {
  out += "\"[";
  out += std::to_string(count);
  out += " values]\"";
}

void AppendShort(std::string& out, const JournalCall& call, const JournalValue* values, size_t count);

void AppendShortValue(std::string& out, const JournalCall& call, const JournalValue& value) {
  if (value.kind != JournalValue::Kind::Array) return AppendScalar(out, value);
  AppendShort(out, call, call.elements.data() + value.first, value.size);
}

void AppendShort(std::string& out, const JournalCall& call, const JournalValue* values, size_t count) {
  if (count > kShownValues) return AppendCount(out, count);
  out += '[';
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) out += ',';
    AppendShortValue(out, call, values[i]);
  }
  out += ']';
}

void AppendPretty(std::string& out, const JournalCall& call, const JournalValue* values, size_t count, int indent);

void AppendPrettyValue(std::string& out, const JournalCall& call, const JournalValue& value, int indent) {
  if (value.kind != JournalValue::Kind::Array) return AppendScalar(out, value);
  AppendPretty(out, call, call.elements.data() + value.first, value.size, indent);
}

void AppendPretty(std::string& out, const JournalCall& call, const JournalValue* values, size_t count, int indent) {
  if (count > kShownValues) return AppendCount(out, count);
  if (count == 0) {
    out += "[]";
    return;
  }
  out += "[\n";
  for (size_t i = 0; i < count; ++i) {
    out.append(indent + 2, ' ');
    AppendPrettyValue(out, call, values[i], indent + 2);
    out += i + 1 < count ? ",\n" : "\n";
  }
  out.append(indent, ' ');
  out += ']';
}

json Shortened(const json& value) {
  if (value.is_array()) {
    if (value.size() > kShownValues) return "[" + std::to_string(value.size()) + " values]";
    json shortened = json::array();
    for (const json& element : value) shortened.push_back(Shortened(element));
    return shortened;
  }
  return value;
}

}  // namespace

struct JournalDecoder::General {
  json document;
};

JournalDecoder::JournalDecoder() : general_(std::make_unique<General>()) {}
JournalDecoder::~JournalDecoder() = default;

const JournalValue& JournalCall::Arg(size_t i) const {
  static const JournalValue kNull;
  return i < args.size() ? args[i] : kNull;
}

void JournalCall::AppendLine(std::string& out) const {
  out += fn;
  out += ' ';
  if (document_) {
    const json& call = *static_cast<const json*>(document_);
    out += Shortened(call.value("args", json::array())).dump();
    if (call.contains("ret")) {
      out += " -> ";
      out += call["ret"].dump();
    }
  } else {
    AppendShort(out, *this, args.data(), args.size());
    if (ret) {
      out += " -> ";
      AppendScalar(out, *ret);
    }
  }
  out += '\n';
}

void JournalCall::AppendJson(std::string& out, int indent) const {
  if (document_) {
    const json& call = *static_cast<const json*>(document_);
    json shown = {{"fn", call["fn"]}, {"args", Shortened(call.value("args", json::array()))}};
    if (call.contains("ret")) shown["ret"] = call["ret"];
    const std::string text = shown.dump(2);
    for (const char c : text) {
      out += c;
      if (c == '\n') out.append(indent, ' ');
    }
    return;
  }
  const std::string inner(indent + 2, ' ');
  out += "{\n";
  out += inner;
  out += "\"args\": ";
  AppendPretty(out, *this, args.data(), args.size(), indent + 2);
  out += ",\n";
  out += inner;
  out += "\"fn\": \"";
  out += fn;  // letters, digits and underscores only on this way
  out += '"';
  if (ret) {
    out += ",\n";
    out += inner;
    out += "\"ret\": ";
    AppendScalar(out, *ret);
  }
  out += '\n';
  out.append(indent, ' ');
  out += '}';
}

std::optional<std::string_view> TextOf(const JournalValue& value) {
  if (value.kind != JournalValue::Kind::Text) return std::nullopt;
  return std::string_view(value.text, value.size);
}

int32_t IntOf(const JournalValue& value) {
  if (value.kind == JournalValue::Kind::Unsigned) return static_cast<int32_t>(value.unsignedValue);
  if (value.kind == JournalValue::Kind::Signed) return static_cast<int32_t>(value.signedValue);
  return 0;
}

float FloatOf(const JournalValue& value) {
  switch (value.kind) {
    case JournalValue::Kind::Unsigned:
      return static_cast<float>(value.unsignedValue);
    case JournalValue::Kind::Signed:
      return static_cast<float>(value.signedValue);
    case JournalValue::Kind::Real:
      return static_cast<float>(value.realValue);
    case JournalValue::Kind::Text: {
      const std::string_view text(value.text, value.size);
      if (text == "inf") return std::numeric_limits<float>::infinity();
      if (text == "-inf") return -std::numeric_limits<float>::infinity();
      break;
    }
    default:
      break;
  }
  return std::numeric_limits<float>::quiet_NaN();
}

bool JournalDecoder::Decode(std::string_view line, JournalCall& call) {
  call.args.clear();
  call.elements.clear();
  call.ret.reset();
  call.document_ = nullptr;
  texts_.clear();
  if (!DecodeShaped(line, call)) {
    call.args.clear();
    call.elements.clear();
    call.ret.reset();
    if (!DecodeGeneral(line, call)) return false;
  }
  call.function = FunctionOf(call.fn);
  return true;
}

bool JournalDecoder::DecodeShaped(std::string_view line, JournalCall& call) {
  ShapedLine in(line, texts_);
  if (!in.Literal("{\"fn\":\"") || !in.Name(call.fn)) return false;
  JournalValue value;
  if (in.Literal(",\"h\":") && !in.Number(value)) return false;
  if (in.Literal(",\"args\":[") && !in.Next(']')) {
    for (;;) {
      if (!in.Value(call.args.emplace_back(), &call.elements)) return false;
      if (in.Next(',')) continue;
      if (!in.Next(']')) return false;
      break;
    }
  }
  if (in.Literal(",\"ret\":")) {
    if (!in.Value(value, nullptr)) return false;
    call.ret = value;
  }
  return in.Next('}') && in.AtEnd();
}

bool JournalDecoder::DecodeGeneral(std::string_view line, JournalCall& call) {
  json& document = general_->document;
  document = json::parse(line.begin(), line.end(), nullptr, false);
  if (!document.is_object()) return false;
  const auto fn = document.find("fn");
  if (fn == document.end() || !fn->is_string()) return false;
  call.fn = fn->get_ref<const std::string&>();
  const auto args = document.find("args");
  if (args != document.end() && args->is_array()) {
    call.args.resize(args->size());
    for (size_t i = 0; i < args->size(); ++i) call.args[i] = Converted((*args)[i], call.elements);
  }
  const auto ret = document.find("ret");
  if (ret != document.end()) call.ret = Converted(*ret, call.elements);
  call.document_ = &document;
  return true;
}

bool StartsLikeJournalLine(std::string_view line) {
  constexpr std::string_view kStart = "{\"fn\":\"";
  return line.size() >= kStart.size() ? line.starts_with(kStart) : !line.empty() && kStart.starts_with(line);
}

namespace {

// `count` floats of an argument that is an array of exactly `count` values.
template <size_t count>
std::optional<std::array<float, count>> FloatsOf(const JournalCall& call, const JournalValue& value) {
  if (value.kind != JournalValue::Kind::Array || value.size != count) return std::nullopt;
  std::array<float, count> floats;
  for (size_t i = 0; i < count; ++i) floats[i] = FloatOf(call.Element(value, i));
  return floats;
}

// The separate fov of a camera call; the block's own when the line holds null.
float FovOf(const JournalValue& fov, const std::optional<CameraBlock>& block) {
  if (fov.kind == JournalValue::Kind::Null) return block ? (*block)[9] : 0;
  return FloatOf(fov);
}

int64_t CountOf(const JournalValue& value) {
  if (value.kind == JournalValue::Kind::Unsigned) return static_cast<int64_t>(value.unsignedValue);
  if (value.kind == JournalValue::Kind::Signed) return value.signedValue;
  return -1;
}

void HoldPositions(ReceivedMesh& mesh, const JournalCall& call, const JournalValue& words) {
  if (mesh.triangles <= 0 || words.kind != JournalValue::Kind::Array) return;
  // Whole triangles only, and never more than the count names.
  const size_t held = std::min<size_t>(words.size / 9, static_cast<size_t>(mesh.triangles));
  mesh.positions.resize(held * 9);
  const JournalValue* word = call.elements.data() + words.first;
  for (size_t i = 0; i < held * 9; ++i) {
    const uint32_t bits = word[i].kind == JournalValue::Kind::Unsigned ? static_cast<uint32_t>(word[i].unsignedValue) : 0;
    mesh.positions[i] = std::bit_cast<float>(bits);
  }
}

}  // namespace

void ApplyCall(ReceivedScene& scene, const JournalCall& call, bool holdMeshes) {
  const auto text = [&call](size_t i) { return TextOf(call.Arg(i)); };
  switch (call.function) {
    case LinkFunction::Other:
      break;
    case LinkFunction::CreateSession:
      scene.StartSession();
      break;
    case LinkFunction::SetModelFilePath:
      if (const auto name = text(0)) scene.model = *name;
      break;
    case LinkFunction::Q9SetMaterialVersion:
      scene.materialVersion = IntOf(call.Arg(0));
      break;
    case LinkFunction::Q9AddMaterial:
      if (const auto name = text(0)) scene.AddMaterial(*name);
      break;
    case LinkFunction::Q9ResetMaterial:
      if (const auto name = text(0)) scene.ResetMaterial(*name);
      break;
    case LinkFunction::Q9SetMaterialType:
      if (const auto name = text(0)) scene.SetMaterialType(*name, IntOf(call.Arg(1)));
      break;
    case LinkFunction::Q9SetMaterialStringProperty:
    case LinkFunction::Q9SetMaterialIntProperty:
    case LinkFunction::Q9SetMaterialFloatProperty: {
      const auto material = text(0), property = text(1);
      if (!material || !property) break;
      if (call.function == LinkFunction::Q9SetMaterialStringProperty) {
        if (const auto value = text(2)) scene.SetMaterialProperty(*material, *property, std::string(*value));
      } else if (call.function == LinkFunction::Q9SetMaterialIntProperty) {
        scene.SetMaterialProperty(*material, *property, IntOf(call.Arg(2)));
      } else {
        scene.SetMaterialProperty(*material, *property, FloatOf(call.Arg(2)));
      }
      break;
    }
    case LinkFunction::Q9AddLight:
      if (const auto name = text(0)) scene.AddLight(*name);
      break;
    case LinkFunction::Q9DeleteLight:
      if (const auto name = text(0)) scene.DeleteLight(*name);
      break;
    case LinkFunction::Q9ClearLights:
      scene.ClearLights();
      break;
    case LinkFunction::Q9SetEntityStringProperty:
    case LinkFunction::Q9SetEntityIntProperty:
    case LinkFunction::Q9SetEntityFloatProperty:
    case LinkFunction::Q9SetEntityFloatArrayProperty: {
      const int32_t kind = IntOf(call.Arg(0));
      const auto entity = text(1), property = text(2);
      const JournalValue& value = call.Arg(3);
      if (!entity || !property) break;
      if (call.function == LinkFunction::Q9SetEntityStringProperty) {
        if (const auto string = TextOf(value)) scene.SetEntityProperty(kind, *entity, *property, std::string(*string));
      } else if (call.function == LinkFunction::Q9SetEntityIntProperty) {
        scene.SetEntityProperty(kind, *entity, *property, IntOf(value));
      } else if (call.function == LinkFunction::Q9SetEntityFloatProperty) {
        scene.SetEntityProperty(kind, *entity, *property, FloatOf(value));
      } else {
        // A null array or a negative count sets nothing; an array of another length than its
        // count sets no floats.
        const int64_t count = CountOf(call.Arg(4));
        if (value.kind == JournalValue::Kind::Null || count < 0) break;
        std::vector<float> floats;
        if (value.kind == JournalValue::Kind::Array && value.size == static_cast<uint64_t>(count)) {
          floats.reserve(value.size);
          for (size_t i = 0; i < value.size; ++i) floats.push_back(FloatOf(call.Element(value, i)));
        }
        scene.SetEntityProperty(kind, *entity, *property, std::move(floats));
      }
      break;
    }
    case LinkFunction::MaxBeginNode:
      if (const auto name = text(0)) {
        const JournalValue& flag = call.Arg(2);
        scene.BeginNode(*name, FloatsOf<16>(call, call.Arg(1)),
                        flag.kind == JournalValue::Kind::Bool && flag.boolean);
      }
      break;
    case LinkFunction::MaxAddTriangles:
      if (ReceivedMesh* mesh = scene.AddMesh(text(0).value_or(""), IntOf(call.Arg(1)))) {
        if (holdMeshes) HoldPositions(*mesh, call, call.Arg(2));
      }
      break;
    case LinkFunction::Q9EndNode:
      scene.EndNode();
      break;
    case LinkFunction::MaxDeleteNode:
    case LinkFunction::Q9DeleteNode:
      if (const auto name = text(0)) scene.DeleteNode(*name);
      break;
    case LinkFunction::AddScene:
      if (const auto name = text(0)) {
        const std::optional<CameraBlock> block = FloatsOf<10>(call, call.Arg(2));
        scene.AddScene(*name, text(1).value_or(""), block, FovOf(call.Arg(3), block));
      }
      break;
    case LinkFunction::Q9DeleteScene:
      if (const auto name = text(0)) scene.DeleteScene(*name);
      break;
    case LinkFunction::Q9ClearScenes:
      scene.ClearScenes();
      break;
    case LinkFunction::SendCameraTransformFov: {
      // A null block is a call without a camera; a block of another shape is no call at all.
      const JournalValue& argument = call.Arg(0);
      const std::optional<CameraBlock> block = FloatsOf<10>(call, argument);
      if (block || argument.kind == JournalValue::Kind::Null) scene.SendCamera(block, FovOf(call.Arg(1), block));
      break;
    }
  }
}

}  // namespace q9x
