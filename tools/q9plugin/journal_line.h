// One line of the journal: {"fn":"<name>","h":<n>,"args":[...],"ret":<value>,"step":<n>} in UTF-8
// JSON ("step" only in a replay).
#pragma once

#include <cstdint>
#include <string>

#include "base/json_writer.h"
#include "link/q9plugin_api.h"

namespace q9plugin {

// Builds the line of one call: texts (zero-terminated UTF-16) as JSON strings, unpaired
// surrogates as U+FFFD, \b and \f as \u0008 and \u000c; a null text as null; floats as the
// shortest decimal that reads back to the same float, NaN and the infinities as the strings
// "nan", "inf" and "-inf". A line made with `enabled` false ignores everything given to it,
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

  // "error": why the call did not do what it was asked (a raw archive not written), in words.
  void Error(const std::u16string& reason);

  // "step": the step of a replay at which the call came; given last, after "ret" and "error".
  void Step(uint64_t step);

  // The complete line with its line feed.
  const std::string& Finish();

 private:
  void NextArgument();
  void CloseArguments();
  void PutText(const char16_t* text);

  bool enabled_;
  bool argumentsOpen_ = false;
  bool argumentsClosed_ = false;
  bool finished_ = false;
  std::string text_;
  q9::JsonWriter out_;  // into text_
};

// The "args" of a call from its arguments after the handle, chosen by their types as the
// functions of Q9_LINK_FUNCTIONS use them: texts, integers, booleans and floats as themselves; a
// lone float pointer is a 16-float matrix; a float pointer with its 64-bit count is that many
// floats and then the count; a camera block is its ten floats; the mesh arrays of
// MaxAddTriangles show 9 x count raw words of the first and the first word of the others; the
// version buffer shows only its count.
inline void PutArguments(JournalLine&) {}

template <typename... Rest>
void PutArguments(JournalLine& line, const char16_t* text, Rest... rest) {
  line.Text(text);
  PutArguments(line, rest...);
}

template <typename... Rest>
void PutArguments(JournalLine& line, int32_t value, Rest... rest) {
  line.Int(value);
  PutArguments(line, rest...);
}

template <typename... Rest>
void PutArguments(JournalLine& line, bool value, Rest... rest) {
  line.Bool(value);
  PutArguments(line, rest...);
}

template <typename... Rest>
void PutArguments(JournalLine& line, float value, Rest... rest) {
  line.Float(value);
  PutArguments(line, rest...);
}

template <typename... Rest>
void PutArguments(JournalLine& line, const float* matrix, Rest... rest) {
  line.Floats(matrix, 16);
  PutArguments(line, rest...);
}

template <typename... Rest>
void PutArguments(JournalLine& line, CameraTransform* camera, Rest... rest) {
  line.Floats(reinterpret_cast<const float*>(camera), 10);
  PutArguments(line, rest...);
}

inline void PutArguments(JournalLine& line, const float* values, int64_t count) {
  line.Floats(values, count);
  line.Int(count);
}

inline void PutArguments(JournalLine& line, int32_t triangleCount, const void* array1,
                         const void* array5, const void* array2, int32_t zero) {
  line.Int(triangleCount);
  // Only the first array's length is known (nine values a triangle); of the others the first
  // value alone can be read safely.
  line.Words(array1, triangleCount > 0 ? int64_t{9} * triangleCount : 0);
  line.Words(array5, 1);
  line.Words(array2, 1);
  line.Int(zero);
}

inline void PutArguments(JournalLine& line, char16_t*, int32_t count) { line.Int(count); }

// The "ret" of the functions whose result the journal shows: an integer, the session's number
// (the handle is that number), a boolean.
inline void PutResult(JournalLine& line, int32_t value) { line.ReturnInt(value); }
inline void PutResult(JournalLine& line, Q9Session session) {
  line.ReturnInt(static_cast<int64_t>(reinterpret_cast<uintptr_t>(session)));
}
inline void PutResult(JournalLine& line, bool value) { line.ReturnBool(value); }

}  // namespace q9plugin
