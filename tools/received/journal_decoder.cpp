#include "received/journal_decoder.h"

#include <cctype>
#include <charconv>
#include <cstring>
#include <limits>

#include <nlohmann/json.hpp>

namespace q9x {

namespace {

using nlohmann::json;

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

// Reads a line of the shape the reference library writes, with the step a replay adds:
//   {"fn":"NAME"[,"h":N][,"step":N][,"args":[VALUE,...]][,"ret":SCALAR][,"step":N]}
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

// `,"step":N` when it comes next. A step that is not an unsigned integer is left to the general
// reader, which takes it as no step.
bool ShapedStep(ShapedLine& in, JournalCall& call) {
  if (!in.Literal(",\"step\":")) return true;
  JournalValue value;
  if (!in.Number(value) || value.kind != JournalValue::Kind::Unsigned) return false;
  call.step = value.unsignedValue;
  return true;
}

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
  call.step.reset();
  call.document_ = nullptr;
  texts_.clear();
  if (!DecodeShaped(line, call)) {
    call.args.clear();
    call.elements.clear();
    call.ret.reset();
    call.step.reset();
    if (!DecodeGeneral(line, call)) return false;
  }
  call.function = FunctionNamed(call.fn);
  return true;
}

bool JournalDecoder::DecodeShaped(std::string_view line, JournalCall& call) {
  ShapedLine in(line, texts_);
  if (!in.Literal("{\"fn\":\"") || !in.Name(call.fn)) return false;
  JournalValue value;
  if (in.Literal(",\"h\":") && !in.Number(value)) return false;
  if (!ShapedStep(in, call)) return false;
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
  if (!call.step && !ShapedStep(in, call)) return false;
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
  const auto step = document.find("step");
  if (step != document.end() && step->is_number_unsigned()) call.step = step->get<uint64_t>();
  call.document_ = &document;
  return true;
}

bool StartsLikeJournalLine(std::string_view line) {
  constexpr std::string_view kStart = "{\"fn\":\"";
  return line.size() >= kStart.size() ? line.starts_with(kStart) : !line.empty() && kStart.starts_with(line);
}

}  // namespace q9x
