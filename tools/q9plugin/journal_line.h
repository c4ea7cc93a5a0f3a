// One line of the journal: {"fn":"<name>","h":<n>,"args":[...],"ret":<value>} in UTF-8 JSON.
#pragma once

#include <cstdint>
#include <string>

namespace q9plugin {

// The shortest decimal that reads back to the same float; NaN and the infinities as the JSON
// strings "nan", "inf" and "-inf".
void AppendFloat(std::string& out, float value);

// A zero-terminated UTF-16 text as a JSON string (unpaired surrogates as U+FFFD); null as null.
void AppendText(std::string& out, const char16_t* text);

// Builds the line of one call. A line made with `enabled` false ignores everything given to it,
// so that the calls cost next to nothing when no journal is kept.
class JournalLine {
 public:
  JournalLine(bool enabled, const char* function);

  bool enabled() const { return enabled_; }

  // "h": the session number; given only by functions that take a handle.
  void Handle(uint64_t number);

  // One argument each, in call order.
  void Text(const char16_t* text);
  void Int(int64_t value);
  void Bool(bool value);
  void Float(float value);
  // `count` floats as an array; null as null; a negative count as an empty array.
  void Floats(const float* values, int64_t count);
  // `count` raw 32-bit values as unsigned integers; null as null; a negative count as [].
  void Words(const void* values, int64_t count);

  // "ret": the value returned.
  void ReturnInt(int64_t value);
  void ReturnBool(bool value);

  // The complete line with its line feed.
  const std::string& Finish();

 private:
  void NextArgument();
  void CloseArguments();

  bool enabled_;
  bool argumentsOpen_ = false;
  bool argumentsClosed_ = false;
  bool finished_ = false;
  std::string text_;
};

}  // namespace q9plugin
