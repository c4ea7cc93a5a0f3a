// The reference link library's journal read back: each line decoded once into a call (its
// function and its arguments as typed values), applied to the received scene, and shown as
// `summary` shows it. Lines as the library writes them take a decoder made for their shape;
// any other line is read by a general JSON parser, so both give the same calls.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "received/received_scene.h"

namespace q9x {

// The functions whose calls change the received scene; every other function is Other.
enum class LinkFunction : uint8_t {
  Other,
  CreateSession,
  SetModelFilePath,
  Q9SetMaterialVersion,
  Q9AddMaterial,
  Q9ResetMaterial,
  Q9SetMaterialType,
  Q9SetMaterialStringProperty,
  Q9SetMaterialIntProperty,
  Q9SetMaterialFloatProperty,
  Q9AddLight,
  Q9DeleteLight,
  Q9ClearLights,
  Q9SetEntityStringProperty,
  Q9SetEntityIntProperty,
  Q9SetEntityFloatProperty,
  Q9SetEntityFloatArrayProperty,
  MaxBeginNode,
  MaxAddTriangles,
  Q9EndNode,
  MaxDeleteNode,
  Q9DeleteNode,
  AddScene,
  Q9DeleteScene,
  Q9ClearScenes,
  SendCameraTransformFov,
};

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

  // Argument `i`, null when there is none.
  const JournalValue& Arg(size_t i) const;
  const JournalValue& Element(const JournalValue& array, size_t i) const { return elements[array.first + i]; }

  // The call as `summary` shows it: "fn [args] -> ret" on one line, arrays of more than six
  // values shown as "[N values]"; and as the same object in a JSON document indented by two
  // blanks a level, starting at `indent`.
  void AppendLine(std::string& out) const;
  void AppendJson(std::string& out, int indent) const;

  // The line was not of the shape the library writes and took the general JSON reader.
  bool readByGeneralParser() const { return document_ != nullptr; }

 private:
  friend class JournalDecoder;
  const void* document_ = nullptr;  // the general parser's document of the line, if it read it
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
  bool Decode(std::string_view line, JournalCall& call);

 private:
  bool DecodeShaped(std::string_view line, JournalCall& call);
  bool DecodeGeneral(std::string_view line, JournalCall& call);

  std::string texts_;  // texts that held escapes, decoded
  struct General;
  std::unique_ptr<General> general_;
};

// Applies a call to `scene`. With `holdMeshes`, MaxAddTriangles keeps array 1 as positions:
// whole triangles only, never more than the count names nor more than the array holds.
void ApplyCall(ReceivedScene& scene, const JournalCall& call, bool holdMeshes);

// The shape the library gives every line's start, for telling a line cut short from another
// text: true when `line` is `{"fn":"` or a start of it, or starts with it.
bool StartsLikeJournalLine(std::string_view line);

}  // namespace q9x
