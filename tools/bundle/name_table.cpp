#include "bundle/name_table.h"

#include <algorithm>
#include <unordered_set>

#include "base/text.h"

namespace q9x::bundle {

namespace {

bool IsWordByte(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
         c >= 0x80;
}

bool EndsPathPart(unsigned char c) {
  return c == '\\' || c == '/' || c == '.' || c == '"' || c == '\'' || c == ']' || c == ':' ||
         c == ' ' || c == '\r' || c == '\n';
}

bool LooksLikeNumber(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) {
    return (c >= u'0' && c <= u'9') || c == u'-' || c == u'+' || c == u'.' || c == u' ';
  });
}

char KindLetter(NameKind kind) {
  switch (kind) {
    case NameKind::User: return 'U';
    case NameKind::Host: return 'H';
    case NameKind::Project: return 'P';
    case NameKind::Material: return 'M';
    case NameKind::Solid: return 'S';
    case NameKind::Light: return 'L';
    case NameKind::View: return 'V';
    case NameKind::Map: return 'T';
  }
  return 'X';
}

std::string Base36(uint64_t value) {
  static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value % 36]);
    value /= 36;
  } while (value > 0);
  return digits;
}

// A token of `units` characters for the `serial`th name of its kind: the kind letter, zeros and
// the number; a name too short for all of it keeps the number's last digits.
std::string TokenText(char letter, uint64_t serial, size_t units) {
  std::string token = std::string(1, letter) + Base36(serial);
  if (token.size() <= units) return token.insert(1, units - token.size(), '0');
  return token.substr(token.size() - units);
}

}  // namespace

const char* KindName(NameKind kind) {
  switch (kind) {
    case NameKind::User: return "user";
    case NameKind::Host: return "host";
    case NameKind::Project: return "project";
    case NameKind::Material: return "material";
    case NameKind::Solid: return "solid";
    case NameKind::Light: return "light";
    case NameKind::View: return "view";
    case NameKind::Map: return "map";
  }
  return "name";
}

uint32_t NameTable::Learn(std::u16string_view text, NameKind kind, bool pathPart) {
  auto [at, added] = index_.try_emplace(std::u16string(text), static_cast<uint32_t>(names_.size()));
  if (added) names_.push_back({std::u16string(text), kind, pathPart, {}});
  if (pathPart) names_[at->second].pathPart = true;
  return at->second;
}

int64_t NameTable::Find(std::u16string_view text) const {
  const auto at = index_.find(std::u16string(text));
  return at == index_.end() ? -1 : at->second;
}

void NameTable::AssignTokens() {
  // A token never equals a name, nor another token, while the length leaves room for one.
  std::unordered_set<std::u16string> taken;
  for (const Name& name : names_) taken.insert(name.text);
  uint64_t serial = 0;
  for (Name& name : names_) {
    std::u16string token;
    for (int attempt = 0; attempt < 1000; ++attempt) {
      token = q9::Ascii16(TokenText(KindLetter(name.kind), ++serial, name.text.size()));
      if (!taken.count(token)) break;
    }
    taken.insert(token);
    name.token = token;
  }
  forms_.clear();
  for (uint32_t i = 0; i < names_.size(); ++i) {
    const Name& name = names_[i];
    const std::string token = q9::Utf8FromUtf16(name.token);
    const std::string utf8 = q9::Utf8FromUtf16(name.text);
    forms_.try_emplace(utf8, Form{i, token + std::string(utf8.size() - token.size(), '_')});
    if (std::all_of(name.text.begin(), name.text.end(), [](char16_t c) { return c < 0x100; })) {
      forms_.try_emplace(std::string(name.text.begin(), name.text.end()), Form{i, token});
    }
  }
  formLengths_.clear();
  for (const auto& [bytes, form] : forms_) formLengths_.push_back(bytes.size());
  std::sort(formLengths_.begin(), formLengths_.end(), std::greater<>());
  formLengths_.erase(std::unique(formLengths_.begin(), formLengths_.end()), formLengths_.end());
}

template <typename Found>
void NameTable::ForEachStanding(std::string_view text, Found found) const {
  if (forms_.empty()) return;
  std::string key;
  size_t p = 0;
  while (p < text.size()) {
    // Every rule needs something other than a word's byte before the name.
    if (p > 0 && IsWordByte(static_cast<unsigned char>(text[p - 1]))) {
      ++p;
      continue;
    }
    const int before = p > 0 ? static_cast<unsigned char>(text[p - 1]) : -1;
    size_t taken = 0;
    for (size_t length : formLengths_) {
      if (length > text.size() - p) continue;
      key.assign(text.substr(p, length));
      const auto at = forms_.find(key);
      if (at == forms_.end()) continue;
      const Name& name = names_[at->second.name];
      const int after = p + length < text.size() ? static_cast<unsigned char>(text[p + length]) : -1;
      const bool number = LooksLikeNumber(name.text);
      const bool enclosed = (before == '[' && after == ']') || (before == '"' && after == '"');
      const bool word = name.text.size() >= kWordUnits && (after < 0 || !IsWordByte(after));
      const bool pathPart = name.pathPart && (before == '\\' || before == '/') &&
                            (after < 0 || EndsPathPart(static_cast<unsigned char>(after)));
      if (!(pathPart || (!number && (enclosed || word)))) continue;
      if (found(p, length, at->second)) {
        taken = length;
        break;
      }
    }
    p += taken > 0 ? taken : 1;
  }
}

void NameTable::ScrubText(std::string& text) const {
  ForEachStanding(text, [&](size_t p, size_t length, const Form& form) {
    text.replace(p, length, form.token);
    return true;
  });
}

int64_t NameTable::FindInText(std::string_view text) const {
  int64_t first = -1;
  ForEachStanding(text, [&](size_t, size_t, const Form& form) {
    const Name& name = names_[form.name];
    if (first < 0 && (name.text.size() >= kWordUnits || name.pathPart)) first = form.name;
    return true;
  });
  return first;
}

std::vector<NameTable::Pattern> NameTable::Utf16Patterns() const {
  auto utf16le = [](std::u16string_view text) {
    std::string bytes;
    for (char16_t unit : text) {
      bytes.push_back(static_cast<char>(unit & 0xFF));
      bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
  };
  std::vector<Pattern> patterns;
  for (uint32_t i = 0; i < names_.size(); ++i) {
    const Name& name = names_[i];
    if (name.text.size() >= kWordUnits) {
      patterns.push_back({utf16le(name.text), i, true});
    } else if (name.pathPart) {
      for (const char16_t* separator : {u"\\", u"/"}) {
        patterns.push_back({utf16le(separator + name.text + separator), i, false});
      }
    }
  }
  return patterns;
}

}  // namespace q9x::bundle
