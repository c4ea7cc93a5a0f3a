#include "journal_line.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "base/text.h"

namespace q9plugin {

void AppendFloat(std::string& out, float value) {
  if (std::isnan(value)) {
    out += "\"nan\"";
  } else if (std::isinf(value)) {
    out += value > 0 ? "\"inf\"" : "\"-inf\"";
  } else {
    // to_chars without a precision gives the shortest text that reads back to the same float.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
  }
}

void AppendText(std::string& out, const char16_t* text) {
  if (!text) {
    out += "null";
    return;
  }
  out += '"';
  for (char c : q9::Utf8FromUtf16(std::u16string_view(text))) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          static const char digits[] = "0123456789abcdef";
          out += "\\u00";
          out += digits[(c >> 4) & 0xF];
          out += digits[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

JournalLine::JournalLine(bool enabled, const char* function) : enabled_(enabled) {
  if (!enabled_) return;
  text_ = "{\"fn\":\"";
  text_ += function;
  text_ += '"';
}

void JournalLine::Handle(uint64_t number) {
  if (!enabled_) return;
  text_ += ",\"h\":";
  text_ += std::to_string(number);
}

void JournalLine::NextArgument() {
  if (!argumentsOpen_) {
    text_ += ",\"args\":[";
    argumentsOpen_ = true;
  } else {
    text_ += ',';
  }
}

void JournalLine::CloseArguments() {
  if (argumentsClosed_) return;
  if (!argumentsOpen_) text_ += ",\"args\":[";
  text_ += ']';
  argumentsOpen_ = argumentsClosed_ = true;
}

void JournalLine::Text(const char16_t* text) {
  if (!enabled_) return;
  NextArgument();
  AppendText(text_, text);
}

void JournalLine::Int(int64_t value) {
  if (!enabled_) return;
  NextArgument();
  text_ += std::to_string(value);
}

void JournalLine::Bool(bool value) {
  if (!enabled_) return;
  NextArgument();
  text_ += value ? "true" : "false";
}

void JournalLine::Float(float value) {
  if (!enabled_) return;
  NextArgument();
  AppendFloat(text_, value);
}

void JournalLine::Floats(const float* values, int64_t count) {
  if (!enabled_) return;
  NextArgument();
  if (!values) {
    text_ += "null";
    return;
  }
  text_ += '[';
  for (int64_t i = 0; i < count; ++i) {
    if (i > 0) text_ += ',';
    AppendFloat(text_, values[i]);
  }
  text_ += ']';
}

void JournalLine::Words(const void* values, int64_t count) {
  if (!enabled_) return;
  NextArgument();
  if (!values) {
    text_ += "null";
    return;
  }
  text_ += '[';
  const auto* bytes = static_cast<const unsigned char*>(values);
  char buffer[16];
  for (int64_t i = 0; i < count; ++i) {
    // Copied byte-wise: the arrays hold floats and integers alike, and need not be aligned.
    uint32_t word;
    std::memcpy(&word, bytes + i * 4, 4);
    if (i > 0) text_ += ',';
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, word);
    text_.append(buffer, result.ptr);
  }
  text_ += ']';
}

void JournalLine::ReturnInt(int64_t value) {
  if (!enabled_) return;
  CloseArguments();
  text_ += ",\"ret\":";
  text_ += std::to_string(value);
}

void JournalLine::ReturnBool(bool value) {
  if (!enabled_) return;
  CloseArguments();
  text_ += ",\"ret\":";
  text_ += value ? "true" : "false";
}

void JournalLine::Error(const std::u16string& reason) {
  if (!enabled_) return;
  CloseArguments();
  text_ += ",\"error\":";
  AppendText(text_, reason.c_str());
}

const std::string& JournalLine::Finish() {
  if (enabled_ && !finished_) {
    CloseArguments();
    text_ += "}\n";
    finished_ = true;
  }
  return text_;
}

}  // namespace q9plugin
