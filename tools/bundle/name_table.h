// The names a bundle made with --anonymise replaces, each with its token, and where a name
// counts as standing in a text.
//
// A token is ASCII letters and digits, as many characters as its name has UTF-16 units, so that
// every file keeps its layout: a kind letter (U user, H host, P project path, M material, S
// solid, L light, V view, T texture map or light profile), then a number. In UTF-8, where a name
// takes more bytes than characters, the token is followed by "_" up to the name's length. A name
// too short for a number of its own gets a token as unique as its length allows.
//
// In texts (the log, the sync record, the recording's request lines, doctor.json) a name is
// replaced where it stands:
//   - between "[" and "]" or between two quotes, as the whole of what they enclose;
//   - as a whole word (no letter, digit, "_" or byte beyond ASCII on either side), when it has
//     at least kWordUnits characters;
//   - as a part of a path (behind "\" or "/", before "\", "/", ".", a quote, "]", ":", a blank
//     or the line's end), for the user name and the parts of the project's path, of any length.
// Names made only of digits, signs, points and blanks are replaced only in fields that hold a
// name, never in texts, where they would be numbers. Shorter names than kWordUnits are not
// looked for once the bundle is written (by chance they occur in geometry and in words).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace q9x::bundle {

enum class NameKind : uint8_t { User, Host, Project, Material, Solid, Light, View, Map };
// "user", "host", "project", "material", "solid", "light", "view", "map".
const char* KindName(NameKind kind);

constexpr size_t kWordUnits = 4;

struct Name {
  std::u16string text;
  NameKind kind;
  bool pathPart = false;  // a part of a path: matched behind "\" and "/"
  std::u16string token;   // once AssignTokens has run
};

class NameTable {
 public:
  // The index of `text` (not empty), learned as a name of `kind` unless it is known already
  // (its first kind stays).
  uint32_t Learn(std::u16string_view text, NameKind kind, bool pathPart = false);
  // The index of a known name, or -1.
  int64_t Find(std::u16string_view text) const;
  // Gives every name its token. Call once, after the last Learn.
  void AssignTokens();

  const std::vector<Name>& names() const { return names_; }
  const Name& operator[](uint32_t index) const { return names_[index]; }

  // Replaces, in place and byte for byte, every name that stands in `text` (one line, single
  // bytes or UTF-8), by the rules above.
  void ScrubText(std::string& text) const;
  // The index of the first name that stands in `text` by the same rules and has at least
  // kWordUnits characters or is a part of a path; -1 when none does.
  int64_t FindInText(std::string_view text) const;

  // The UTF-16LE patterns a container is searched for once written: each name of at least
  // kWordUnits units, and each shorter part of a path behind "\" and "/".
  struct Pattern {
    std::string bytes;
    uint32_t name;
    bool word;  // found only as a word of its own; a part of a path carries its separators
  };
  std::vector<Pattern> Utf16Patterns() const;

 private:
  struct Form {
    uint32_t name;
    std::string token;  // the same number of bytes as the form
  };
  // Calls `found(position, length, form)` for each name standing in `text`, longest first at a
  // position, going on behind each one `found` accepts (returns true for).
  template <typename Found>
  void ForEachStanding(std::string_view text, Found found) const;

  std::vector<Name> names_;
  std::unordered_map<std::u16string, uint32_t> index_;
  // Each name's single-byte form (when every unit is below 256) and UTF-8 form.
  std::unordered_map<std::string, Form> forms_;
  std::vector<size_t> formLengths_;  // the lengths of the forms, longest first
};

}  // namespace q9x::bundle
