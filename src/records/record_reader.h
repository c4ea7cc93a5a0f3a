// The tagged text the host writes for cameras, views, materials, texture map entries and lights:
// one key per line with its value behind it. Every record kind is a key table over the reading
// operations below; the table is the whole parser of the kind.
//
// Lines end at LF; a CR stays part of its line. Keys are compared code unit by code unit, with
// no trimming. A key line is prefix, key and separator (" [" bracketed, " " bare), then the
// value. Parsing never fails: a record keeps what the text does not say.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "base/platform.h"
#include "records/float3.h"

namespace q9 {

// Reads a record file whole, shared with other processes for reading and writing: every byte
// becomes the code unit of the same value and every CR LF pair one LF. False (and an empty
// text) when the file cannot be opened or read; `error` (if given) then receives the reason.
// `opened` (if given) is handed the file once it is open and before a byte is read (the
// recording keeps it then); it leaves the file at its start.
bool ReadRecordFile(const std::u16string& path, std::u16string& text,
                    platform::FileError* error = nullptr,
                    const std::function<void(std::FILE* file)>& opened = {});

// The lines of a text, in order, read in place from the caller's text.
class RecordReader {
 public:
  // Reads `text` in place: the text must outlive the reader.
  explicit RecordReader(std::u16string_view text) : text_(text) {}

  // The next line without its LF; false when no line is left, and from then on. A text that
  // ends with LF has no empty line after it. `line` points into the text, valid while the text is.
  bool NextLine(std::u16string_view& line);

 private:
  std::u16string_view text_;
  size_t next_ = 0;
};

// True when the line begins with the pattern.
bool KeyMatches(std::u16string_view line, std::u16string_view pattern);

// Where ScanKey stores a converted value: "%d" into an integer, "%f" into a float.
using ScanTarget = std::variant<int32_t*, float*>;

// Scans the line with the format `keyText` + `suffix` as standard wide formatted input does in
// the classic locale: a blank in the format matches any run of white space (also none), other
// format characters must match the line, "%d" and "%f" skip white space and convert. The
// conversions fill the targets in order and stop at the first that fails; targets after it keep
// their values. Nothing after the last conversion is examined.
//
// White space is the six ASCII blanks (space, tab, LF, VT, FF, CR). A number is decimal:
// hexadecimal reals, infinities, not-a-number, integers beyond 32 bits and reals beyond the
// float range are not read (the conversion fails); a real too small for a float reads as zero;
// an exponent mark (and sign) without digits is read and adds nothing, as the C library does.
void ScanKey(std::u16string_view line, std::u16string_view keyText, std::u16string_view suffix,
             std::initializer_list<ScanTarget> targets);

// The same with the format given as pieces that are read as one text.
void ScanFormat(std::u16string_view line, std::initializer_list<std::u16string_view> format,
                std::span<const ScanTarget> targets);

// The rest of the line behind the pattern, without one closing "]" at its very end. Blanks and
// inner brackets stay.
std::u16string TextValue(std::u16string_view line, std::u16string_view pattern);

// Collects one list entry, called right after the reader gave the entry's start line: the lines
// up to the end line that matches it (start lines inside open nested entries), each followed by
// LF, without that end line. False when the text ends first; the caller then drops the entry.
bool ReadObjectText(RecordReader& reader, std::u16string_view startPattern,
                    std::u16string_view endPattern, std::u16string& text);

// ---- Key tables ----

// How a key's line is written: key and " [" (bracketed), key and " " (bare), or, for a list of
// records, element class and "_ObjectSTART" (the entry ends at element class and "_ObjectEND").
enum class KeyForm { Bracketed, Bare, ListEntry };

// An integer that is read and not kept (the version keys).
struct NotKept {};

// A list of records of another kind: `append` parses one complete entry's text into a new
// element with that kind's initial values and appends it.
template <class Record>
struct ObjectList {
  void (*append)(Record& record, const std::u16string& entryText);
};

// Where a key's value goes; the field's type gives the value kind and the scan: integer "%d",
// real "%f", triple "%f %f %f", text by TextValue.
template <class Record>
using KeyTarget = std::variant<NotKept, int32_t Record::*, float Record::*, Float3 Record::*,
                               std::u16string Record::*, ObjectList<Record>>;

template <class Record>
struct RecordKey {
  std::u16string_view key;
  KeyForm form;
  KeyTarget<Record> target;
};

template <class Record>
using KeyTable = std::span<const RecordKey<Record>>;

namespace records_detail {

constexpr std::u16string_view Separator(KeyForm form) {
  switch (form) {
    case KeyForm::Bracketed:
      return u" [";
    case KeyForm::Bare:
      return u" ";
    case KeyForm::ListEntry:
      break;
  }
  return u"_ObjectSTART";
}

// Whether the line begins with key and separator; most keys differ from a line in its first unit.
inline bool LineBegins(std::u16string_view line, std::u16string_view key,
                       std::u16string_view separator) {
  if (!key.empty() && (line.empty() || line[0] != key[0])) return false;
  return line.starts_with(key) && line.substr(key.size()).starts_with(separator);
}

bool ReadListEntry(RecordReader& reader, std::u16string_view prefix, std::u16string_view element,
                   std::u16string& text);

template <class>
inline constexpr bool kAlwaysFalse = false;

}  // namespace records_detail

// Applies the first key of the table whose pattern begins the line; false when none does.
template <class Record>
bool ApplyKeyTable(std::u16string_view line, std::u16string_view prefix, KeyTable<Record> keys,
                   RecordReader& reader, Record& record) {
  using namespace records_detail;
  // Every pattern begins with the prefix: it is tested once.
  if (!KeyMatches(line, prefix)) return false;
  const std::u16string_view afterPrefix = line.substr(prefix.size());
  for (const RecordKey<Record>& key : keys) {
    const std::u16string_view separator = Separator(key.form);
    if (!LineBegins(afterPrefix, key.key, separator)) continue;
    if (key.form == KeyForm::ListEntry) {
      std::u16string entry;
      const auto* list = std::get_if<ObjectList<Record>>(&key.target);
      if (ReadListEntry(reader, prefix, key.key, entry) && list) list->append(record, entry);
      return true;
    }
    // The line begins with the key text, so the scan format's literal part matches it as it
    // stands; the scan goes on from the separator, which the suffix begins with.
    const std::u16string_view value = afterPrefix.substr(key.key.size());
    const bool bare = key.form == KeyForm::Bare;
    std::visit(
        [&](auto field) {
          using Field = decltype(field);
          if constexpr (std::is_same_v<Field, NotKept>) {
            int32_t ignored = 0;
            const ScanTarget targets[] = {&ignored};
            ScanFormat(value, {bare ? u" %d" : u" [%d"}, targets);
          } else if constexpr (std::is_same_v<Field, int32_t Record::*>) {
            const ScanTarget targets[] = {&(record.*field)};
            ScanFormat(value, {bare ? u" %d" : u" [%d"}, targets);
          } else if constexpr (std::is_same_v<Field, float Record::*>) {
            const ScanTarget targets[] = {&(record.*field)};
            ScanFormat(value, {bare ? u" %f" : u" [%f"}, targets);
          } else if constexpr (std::is_same_v<Field, Float3 Record::*>) {
            Float3& triple = record.*field;
            const ScanTarget targets[] = {&triple.x, &triple.y, &triple.z};
            ScanFormat(value, {bare ? u" %f %f %f" : u" [%f %f %f"}, targets);
          } else if constexpr (std::is_same_v<Field, std::u16string Record::*>) {
            record.*field = TextValue(value, separator);
          } else if constexpr (std::is_same_v<Field, ObjectList<Record>>) {
            // Only a list entry key collects entries.
          } else {
            static_assert(kAlwaysFalse<Field>, "every key target is handled");
          }
        },
        key.target);
    return true;
  }
  return false;
}

// A block record: only lines from a start line (class name and "_Start") up to the next end line
// (class name and "_End") are read; a later start line opens the block again into the same
// record. Key lines begin with the class name and "_".
template <class Record>
void ReadBlockRecord(const std::u16string& text, std::u16string_view className,
                     KeyTable<Record> keys, Record& record) {
  std::u16string prefix(className);
  prefix += u'_';
  const std::u16string startLine = prefix + u"Start";
  const std::u16string endLine = prefix + u"End";
  RecordReader reader(text);
  bool inside = false;
  std::u16string_view line;
  while (reader.NextLine(line)) {
    if (line != startLine) {
      if (line == endLine) {
        inside = false;
        continue;
      }
      if (!inside) continue;
    }
    ApplyKeyTable(line, prefix, keys, reader, record);
    inside = true;
  }
}

// A flat record: every line is tested against the keys; no prefix.
template <class Record>
void ReadFlatRecord(const std::u16string& text, KeyTable<Record> keys, Record& record) {
  RecordReader reader(text);
  std::u16string_view line;
  while (reader.NextLine(line)) ApplyKeyTable(line, u"", keys, reader, record);
}

}  // namespace q9
