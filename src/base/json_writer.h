// JSON text written as it goes, for every document the system, its tools and the reference link
// library make: the recording's request lines, the journal's lines, the raw archive,
// `summary --json` and the calls it shows, and the glTF file's JSON chunk. The writer puts the separators (and, indented, the line breaks) between
// the values it is given in order; it never checks that keys and values alternate. Its text goes
// to a string of the caller's, to a sink in blocks, or stays in memory in blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace q9 {

// How strings are spelled. Always escaped: `"`, `\` and the control characters below U+0020;
// \n, \r and \t by their short escapes, the others as \u00XX in lower-case hex. Every other byte
// stays as it is, non-ASCII included.
struct JsonEscaping {
  // \b and \f by their short escapes too; false: \u0008 and \u000c, as the reference library's
  // journal has always written them.
  bool shortBackspaceAndFormFeed = true;
  // Each maximal part of a sequence that is not UTF-8 (as q9::Utf16FromUtf8 counts them) as one
  // U+FFFD, so that the document is UTF-8 whatever it was given; false: bytes as they are.
  bool replaceInvalidUtf8 = false;
};

// Appends `text` escaped, without the quotes.
void AppendJsonEscaped(std::string& out, std::string_view text, const JsonEscaping& escaping = {});
// Appends `text` as a JSON string, quotes included.
void AppendJsonString(std::string& out, std::string_view text, const JsonEscaping& escaping = {});

// How a real number is written. Either way it is the shortest decimal that reads back to the
// same value (for a float: to the same float).
enum class JsonReals : uint8_t {
  Shortest,   // as std::to_chars gives it: 60, 0.5, 1e+16, 1e-05
  WithPoint,  // as a JSON library prints a double: 60.0, 0.5, 1e+16, 1e-05 (fixed notation from
              // 1e-4 to below 1e16, a whole number with ".0"; otherwise an exponent)
};

// What a NaN or an infinity becomes, as JSON has neither.
enum class JsonNonFinite : uint8_t {
  Null,  // null
  Zero,  // 0 (callers that keep such values out)
  Text,  // the strings "nan", "inf" and "-inf"
};

// How a writer lays out its text.
struct JsonOptions {
  // Two blanks a level, every member and element on a line of its own ("[]" and "{}" when
  // empty), ": " after a key: the layout a JSON library gives with an indent of 2. Otherwise
  // no blanks at all.
  bool indented = false;
  JsonReals reals = JsonReals::Shortest;
  JsonNonFinite nonFinite = JsonNonFinite::Null;
  JsonEscaping escaping;
};

class JsonWriter {
 public:
  // Takes the text in order; false when it cannot, after which nothing more is handed to it.
  using Sink = std::function<bool(std::string_view text)>;
  static constexpr size_t kSinkBlock = size_t{1} << 16;
  static constexpr size_t kMemoryBlock = size_t{1} << 20;

  // Appends to `out`, which must outlive the writer; the text is there as soon as it is written.
  explicit JsonWriter(std::string& out, const JsonOptions& options = {});
  // Hands the text to `sink` whenever kSinkBlock bytes have gathered, and on Flush.
  JsonWriter(Sink sink, const JsonOptions& options);
  // Keeps the text in memory (blocks()), in blocks of at most kMemoryBlock bytes: growing never
  // copies what is already there, and memory stays near the text's size.
  explicit JsonWriter(const JsonOptions& options = {});
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;

  void BeginObject();
  void EndObject();
  // `oneLine`: indented, the array's elements stay on its line, separated by ", " (for rows of
  // numbers: a matrix, a colour); for arrays that hold no array or object.
  void BeginArray(bool oneLine = false);
  void EndArray();
  // A member's key; its value follows.
  void Key(std::string_view key);

  JsonWriter& String(std::string_view text);
  JsonWriter& Int(int64_t value);
  JsonWriter& Unsigned(uint64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();
  JsonWriter& Number(double value);
  // The shortest decimal that reads back to the same float.
  JsonWriter& Number(float value);
  // Arrays of numbers, on one line.
  JsonWriter& Numbers(const float* values, size_t count);
  JsonWriter& Numbers(std::initializer_list<double> values);

  // Appends JSON text as it stands, with the caller's own separators (outside the writer's
  // arrays and objects, or for the line feed after a document).
  JsonWriter& operator<<(std::string_view json);
  // Appends the text another writer keeps in memory.
  JsonWriter& operator<<(const JsonWriter& other);

  // Hands what has gathered to the sink. False once the sink has refused text.
  bool Flush();
  // The bytes written so far.
  uint64_t size() const { return handedOn_ + text_->size(); }
  // The text a writer keeps in memory, in order (none for a string or a sink).
  const std::vector<std::string>& blocks() const { return blocks_; }

 private:
  enum class Destination : uint8_t { String, Sink, Memory };
  struct Level {
    bool oneLine;
    bool empty = true;
  };

  void BeforeValue();
  void Open(char bracket, bool oneLine);
  void Close(char bracket);
  void NewLine(size_t depth);
  void Real(double value, bool isFloat);
  // Once a block has gathered: hands it to the sink, or starts the next block in memory.
  void Step() {
    if (text_->size() >= block_) Spill();
  }
  void Spill();

  JsonOptions options_;
  Destination destination_;
  std::string* text_;
  size_t block_;
  Sink sink_;
  std::string gathered_;             // Sink: what has not been handed on
  std::vector<std::string> blocks_;  // Memory: the text, the last block being written
  std::vector<Level> levels_;
  uint64_t handedOn_ = 0;
  bool afterKey_ = false;
  bool ok_ = true;
};

// The options under which the writer gives the text a JSON library's dump gives: reals with a
// point, NaN and the infinities as null.
inline JsonOptions JsonDumpOptions(bool indented) {
  JsonOptions options;
  options.indented = indented;
  options.reals = JsonReals::WithPoint;
  options.nonFinite = JsonNonFinite::Null;
  return options;
}

}  // namespace q9
