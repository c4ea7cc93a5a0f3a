#include "journal_line.h"

#include <cstring>
#include <string_view>

#include "base/text.h"

namespace q9plugin {

namespace {

q9::JsonOptions LineOptions() {
  q9::JsonOptions options;
  options.nonFinite = q9::JsonNonFinite::Text;
  // As every journal written so far spells them.
  options.escaping.shortBackspaceAndFormFeed = false;
  return options;
}

}  // namespace

JournalLine::JournalLine(bool enabled, const char* function) : enabled_(enabled), out_(text_, LineOptions()) {
  if (!enabled_) return;
  out_.BeginObject();
  out_.Key("fn");
  out_.String(function);
}

void JournalLine::Handle(uint64_t number) {
  if (!enabled_) return;
  out_.Key("h");
  out_.Unsigned(number);
}

void JournalLine::NextArgument() {
  if (argumentsOpen_) return;
  out_.Key("args");
  out_.BeginArray();
  argumentsOpen_ = true;
}

void JournalLine::CloseArguments() {
  if (argumentsClosed_) return;
  NextArgument();
  out_.EndArray();
  argumentsClosed_ = true;
}

void JournalLine::PutText(const char16_t* text) {
  if (text) {
    out_.String(q9::Utf8FromUtf16(std::u16string_view(text)));
  } else {
    out_.Null();
  }
}

void JournalLine::Text(const char16_t* text) {
  if (!enabled_) return;
  NextArgument();
  PutText(text);
}

void JournalLine::Int(int64_t value) {
  if (!enabled_) return;
  NextArgument();
  out_.Int(value);
}

void JournalLine::Bool(bool value) {
  if (!enabled_) return;
  NextArgument();
  out_.Bool(value);
}

void JournalLine::Float(float value) {
  if (!enabled_) return;
  NextArgument();
  out_.Number(value);
}

void JournalLine::Floats(const float* values, int64_t count) {
  if (!enabled_) return;
  NextArgument();
  if (!values) {
    out_.Null();
    return;
  }
  out_.BeginArray();
  for (int64_t i = 0; i < count; ++i) out_.Number(values[i]);
  out_.EndArray();
}

void JournalLine::Words(const void* values, int64_t count) {
  if (!enabled_) return;
  NextArgument();
  if (!values) {
    out_.Null();
    return;
  }
  out_.BeginArray();
  const auto* bytes = static_cast<const unsigned char*>(values);
  for (int64_t i = 0; i < count; ++i) {
    // Copied byte-wise: the arrays hold floats and integers alike, and need not be aligned.
    uint32_t word;
    std::memcpy(&word, bytes + i * 4, 4);
    out_.Unsigned(word);
  }
  out_.EndArray();
}

void JournalLine::ReturnInt(int64_t value) {
  if (!enabled_) return;
  CloseArguments();
  out_.Key("ret");
  out_.Int(value);
}

void JournalLine::ReturnBool(bool value) {
  if (!enabled_) return;
  CloseArguments();
  out_.Key("ret");
  out_.Bool(value);
}

void JournalLine::Error(const std::u16string& reason) {
  if (!enabled_) return;
  CloseArguments();
  out_.Key("error");
  PutText(reason.c_str());
}

void JournalLine::Step(uint64_t step) {
  if (!enabled_) return;
  CloseArguments();
  out_.Key("step");
  out_.Unsigned(step);
}

const std::string& JournalLine::Finish() {
  if (enabled_ && !finished_) {
    CloseArguments();
    out_.EndObject();
    out_ << "\n";
    finished_ = true;
  }
  return text_;
}

}  // namespace q9plugin
