#include "base/recording_switch.h"

#include <cctype>
#include <charconv>

#include "base/json_writer.h"
#include "base/text.h"

namespace q9 {

namespace {

// A reader of one flat JSON object whose values are strings, numbers, booleans or null: all a
// switch holds. Anything else is refused with the byte where it stands.
class FlatObjectReader {
 public:
  explicit FlatObjectReader(std::string_view text) : text_(text) {}

  bool Fail(const std::string& what) {
    if (problem_.empty()) problem_ = "byte " + std::to_string(position_ + 1) + ": " + what;
    return false;
  }
  const std::string& problem() const { return problem_; }

  void SkipBlanks() {
    while (position_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[position_]))) {
      ++position_;
    }
  }
  bool Take(char c) {
    SkipBlanks();
    if (position_ < text_.size() && text_[position_] == c) {
      ++position_;
      return true;
    }
    return false;
  }
  bool AtEnd() {
    SkipBlanks();
    return position_ == text_.size();
  }
  bool Peek(char c) {
    SkipBlanks();
    return position_ < text_.size() && text_[position_] == c;
  }

  // A string's UTF-8, escapes decoded (a \u escape of a lone surrogate becomes U+FFFD).
  bool String(std::string& out) {
    out.clear();
    if (!Take('"')) return Fail("'\"' expected");
    std::u16string units;
    while (position_ < text_.size()) {
      const char c = text_[position_++];
      if (c == '"') {
        out += Utf8FromUtf16(units);
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return Fail("a control character in a string");
      if (c != '\\') {
        // Plain bytes are gathered as UTF-8 between escapes.
        const size_t start = position_ - 1;
        size_t end = position_;
        while (end < text_.size() && text_[end] != '"' && text_[end] != '\\' &&
               static_cast<unsigned char>(text_[end]) >= 0x20) {
          ++end;
        }
        units += Utf16FromUtf8(text_.substr(start, end - start));
        position_ = end;
        continue;
      }
      if (position_ >= text_.size()) break;
      const char escape = text_[position_++];
      switch (escape) {
        case '"': units += u'"'; break;
        case '\\': units += u'\\'; break;
        case '/': units += u'/'; break;
        case 'b': units += u'\b'; break;
        case 'f': units += u'\f'; break;
        case 'n': units += u'\n'; break;
        case 'r': units += u'\r'; break;
        case 't': units += u'\t'; break;
        case 'u': {
          unsigned value = 0;
          if (text_.size() - position_ < 4 ||
              std::from_chars(text_.data() + position_, text_.data() + position_ + 4, value, 16).ptr !=
                  text_.data() + position_ + 4) {
            return Fail("four hex digits expected after \\u");
          }
          position_ += 4;
          units += static_cast<char16_t>(value);
          break;
        }
        default: return Fail("an unknown escape");
      }
    }
    return Fail("the string does not end");
  }

  // A whole number, or nothing when the value is another number or a literal (passed over).
  bool Plain(std::optional<int64_t>& whole) {
    whole.reset();
    SkipBlanks();
    for (const std::string_view literal : {"true", "false", "null"}) {
      if (text_.substr(position_, literal.size()) == literal) {
        position_ += literal.size();
        return true;
      }
    }
    const size_t start = position_;
    while (position_ < text_.size() &&
           (std::isdigit(static_cast<unsigned char>(text_[position_])) ||
            std::string_view("+-.eE").find(text_[position_]) != std::string_view::npos)) {
      ++position_;
    }
    if (position_ == start) return Fail("a value expected");
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text_.data() + start, text_.data() + position_, value);
    if (error == std::errc() && end == text_.data() + position_) whole = value;
    return true;
  }

 private:
  std::string_view text_;
  size_t position_ = 0;
  std::string problem_;
};

}  // namespace

std::string RecordingSwitchText(const RecordingSwitch& recordingSwitch) {
  std::string text;
  JsonWriter out(text);
  out.BeginObject();
  out.Key("format");
  out.Int(RecordingSwitch::kFormat);
  out.Key("folder");
  out.String(Utf8FromUtf16(recordingSwitch.folder));
  out.Key("maxSize");
  out.Int(recordingSwitch.maxSize);
  out.EndObject();
  return text + "\n";
}

std::optional<RecordingSwitch> ParseRecordingSwitch(std::string_view text, std::string& problem) {
  FlatObjectReader reader(text);
  RecordingSwitch result;
  bool folderGiven = false;
  bool ok = reader.Take('{') || reader.Fail("'{' expected");
  bool first = true;
  while (ok && !reader.Take('}')) {
    if (!first && !reader.Take(',')) {
      ok = reader.Fail("',' or '}' expected");
      break;
    }
    first = false;
    std::string key;
    std::string value;
    std::optional<int64_t> whole;
    ok = reader.String(key) && (reader.Take(':') || reader.Fail("':' expected"));
    if (!ok) break;
    const bool isString = reader.Peek('"');
    ok = isString ? reader.String(value) : reader.Plain(whole);
    if (!ok) break;
    if (key == "folder") {
      if (!isString || value.empty()) {
        problem = "folder: not a non-empty string";
        return std::nullopt;
      }
      result.folder = Utf16FromUtf8(value);
      folderGiven = true;
    } else if (key == "maxSize") {
      if (!whole || *whole <= 0) {
        problem = "maxSize: not a whole number above 0";
        return std::nullopt;
      }
      result.maxSize = *whole;
    } else if (key == "format" && (!whole || *whole != RecordingSwitch::kFormat)) {
      problem = "format: not 1 (a switch of another version)";
      return std::nullopt;
    }
  }
  if (ok && !reader.AtEnd()) ok = reader.Fail("nothing expected after the object");
  if (!ok) {
    problem = reader.problem();
    return std::nullopt;
  }
  if (!folderGiven) {
    problem = "folder: missing";
    return std::nullopt;
  }
  return result;
}

}  // namespace q9
