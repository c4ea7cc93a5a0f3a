// The reference link library's journal read back: each line decoded once into a call, its
// function and its arguments as typed values (apply_call.h applies it to the received scene,
// call_display.h shows it as `summary` does). Lines as the library writes them take a decoder
// made for their shape; any other line is read by a general JSON parser, so both give the same
// calls.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "received/link_function.h"

namespace q9x {

// One JSON value of a call: null, a boolean, a number (unsigned or negative integer, or real, as
// a JSON reader tells them apart), a text, an array (its elements in the call) or an object.
struct JournalValue {
  enum class Kind : uint8_t { Null, Bool, Unsigned, Signed, Real, Text, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  uint32_t size = 0;  // a text's bytes, an array's elements
  union {
    uint64_t unsignedValue;
    int64_t signedValue;
    double realValue;
    const char* text;  // UTF-8, `size` bytes
    size_t first;      // an array's first element in JournalCall::elements
  };
  JournalValue() : unsignedValue(0) {}
};

class JournalDecoder;

// A decoded line: valid until the next line is decoded.
struct JournalCall {
  std::string_view fn;  // the function as named in the line
  LinkFunction function = LinkFunction::Other;
  std::vector<JournalValue> args;      // "args" (empty when absent or not an array)
  std::vector<JournalValue> elements;  // the elements of the arrays among them
  std::optional<JournalValue> ret;     // "ret"
  // "step" when it is an unsigned integer: the step of a replay at which the call came (a
  // replay's journal gives every line one).
  std::optional<uint64_t> step;

  // Argument `i`, null when there is none.
  const JournalValue& Arg(size_t i) const;
  const JournalValue& Element(const JournalValue& array, size_t i) const { return elements[array.first + i]; }

  // The line was not of the shape the library writes and took the general JSON reader.
  bool readByGeneralParser() const { return document_ != nullptr; }
  // That reader's document of the line (an object with a text "fn"); null on the shaped way.
  const nlohmann::json* document() const { return document_; }

 private:
  friend class JournalDecoder;
  const nlohmann::json* document_ = nullptr;
};

// Texts and numbers of values as the calls use them: a text (nothing for null or another kind);
// an integer (0 for what is not one); a float (numbers, "inf", "-inf"; NaN for anything else).
std::optional<std::string_view> TextOf(const JournalValue& value);
int32_t IntOf(const JournalValue& value);
float FloatOf(const JournalValue& value);

// Decodes journal lines, reusing its room from line to line.
class JournalDecoder {
 public:
  JournalDecoder();
  ~JournalDecoder();
  // Decodes one line (without its line feed). False when it is not a journal call: not a JSON
  // object with a text "fn".
  // Any bytes are safe; memory is a small multiple of the line's length, held until the next line.
  bool Decode(std::string_view line, JournalCall& call);

 private:
  bool DecodeShaped(std::string_view line, JournalCall& call);
  bool DecodeGeneral(std::string_view line, JournalCall& call);

  std::string texts_;  // texts that held escapes, decoded
  struct General;
  std::unique_ptr<General> general_;
};

// The shape the library gives every line's start, for telling a line cut short from another
// text: true when `line` is `{"fn":"` or a start of it, or starts with it.
bool StartsLikeJournalLine(std::string_view line);

}  // namespace q9x
