#include "pack/description_check.h"

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

namespace q9x {

namespace {

using nlohmann::json;

constexpr int64_t kLayoutMax = 0x7FFFFFFF;

enum class Kind {
  Layout,   // 0..2^31-1
  Word,     // any 32-bit value, signed or unsigned
  Word16,   // 0..65535
  Byte,     // 0..255
  Text,     // a string
  Hex,      // a string of hex digit pairs
  TypeWord, // "geometry", "changeList" or a word
  Object,   // checked by its own rule
};

struct Problem {
  std::string text;
};

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
  throw Problem{path + ": " + what};
}

std::string TypeName(const json& value) {
  if (value.is_number_integer()) return "an integer";
  if (value.is_number_float()) return "a fraction";
  if (value.is_string()) return "a string";
  if (value.is_boolean()) return "true or false";
  if (value.is_null()) return "null";
  if (value.is_array()) return "a list";
  return "an object";
}

void Expect(const std::string& path, const json& value, bool ok, const char* expected) {
  if (!ok) Fail(path, "expected " + std::string(expected) + ", found " + TypeName(value));
}

void CheckInteger(const std::string& path, const json& value, int64_t low, int64_t high) {
  Expect(path, value, value.is_number_integer(), "an integer");
  if (value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(high)) {
    Fail(path, value.dump() + " is above " + std::to_string(high));
  }
  if (!value.is_number_unsigned()) {
    const int64_t number = value.get<int64_t>();
    if (number < low) Fail(path, value.dump() + " is below " + std::to_string(low));
    if (number > high) Fail(path, value.dump() + " is above " + std::to_string(high));
  }
}

void CheckValue(const std::string& path, const json& value, Kind kind) {
  switch (kind) {
    case Kind::Layout: CheckInteger(path, value, 0, kLayoutMax); break;
    case Kind::Word: CheckInteger(path, value, -0x80000000LL, 0xFFFFFFFFLL); break;
    case Kind::Word16: CheckInteger(path, value, 0, 0xFFFF); break;
    case Kind::Byte: CheckInteger(path, value, 0, 0xFF); break;
    case Kind::Text: Expect(path, value, value.is_string(), "a string"); break;
    case Kind::Hex: {
      Expect(path, value, value.is_string(), "a string of hex digits");
      const std::string hex = value.get<std::string>();
      const bool digits = std::all_of(hex.begin(), hex.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
      if (hex.size() % 2 != 0 || !digits) Fail(path, "expected pairs of hex digits");
      break;
    }
    case Kind::TypeWord:
      if (value.is_string()) {
        const std::string name = value.get<std::string>();
        if (name != "geometry" && name != "changeList") {
          Fail(path, "\"" + name + "\" is not geometry, changeList or a number");
        }
      } else {
        CheckInteger(path, value, -0x80000000LL, 0xFFFFFFFFLL);
      }
      break;
    case Kind::Object: break;
  }
}

// Edit distance, for "did you mean".
size_t Distance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                        std::tolower(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

using Rule = std::function<void(const std::string& path, const json& value)>;
struct Field {
  Kind kind;
  Rule rule;  // for Kind::Object
};
using Fields = std::map<std::string, Field>;

// An object of the known `fields`, each value checked.
void CheckObject(const std::string& path, const json& object, const Fields& fields) {
  Expect(path, object, object.is_object(), "an object");
  for (auto item = object.begin(); item != object.end(); ++item) {
    const std::string itemPath = path.empty() ? item.key() : path + "." + item.key();
    const auto found = fields.find(item.key());
    if (found == fields.end()) {
      std::string nearest;
      size_t best = 3;
      for (const auto& [name, field] : fields) {
        const size_t distance = Distance(item.key(), name);
        if (distance < best) {
          best = distance;
          nearest = name;
        }
      }
      Fail(itemPath, "unknown key" + (nearest.empty() ? std::string() : "; did you mean \"" + nearest + "\"?"));
    }
    if (found->second.kind == Kind::Object) {
      found->second.rule(itemPath, item.value());
    } else {
      CheckValue(itemPath, item.value(), found->second.kind);
    }
  }
}

Rule ListOf(Rule element, bool nullAllowed = false) {
  return [element, nullAllowed](const std::string& path, const json& list) {
    Expect(path, list, list.is_array(), "a list");
    for (size_t i = 0; i < list.size(); ++i) {
      if (nullAllowed && list[i].is_null()) continue;
      element(path + "[" + std::to_string(i) + "]", list[i]);
    }
  };
}

Rule ObjectOf(Fields fields) {
  return [fields](const std::string& path, const json& object) { CheckObject(path, object, fields); };
}

Rule Values(Kind kind) {
  return [kind](const std::string& path, const json& list) {
    Expect(path, list, list.is_array(), "a list");
    for (size_t i = 0; i < list.size(); ++i) CheckValue(path + "[" + std::to_string(i) + "]", list[i], kind);
  };
}

// Mesh arrays by number "1" to "8".
Rule Arrays(Rule each) {
  return [each](const std::string& path, const json& object) {
    Expect(path, object, object.is_object(), "an object");
    for (auto item = object.begin(); item != object.end(); ++item) {
      const std::string& key = item.key();
      if (key.size() != 1 || key[0] < '1' || key[0] > '8') Fail(path + "." + key, "mesh arrays are numbered 1 to 8");
      each(path + "." + key, item.value());
    }
  };
}

Field Of(Kind kind) { return {kind, nullptr}; }
Field Of(Rule rule) { return {Kind::Object, std::move(rule)}; }

Rule DescriptionRule() {
  const Rule floats = [](const std::string& path, const json& list) {
    Expect(path, list, list.is_array(), "a list");
    for (size_t i = 0; i < list.size(); ++i) {
      Expect(path + "[" + std::to_string(i) + "]", list[i], list[i].is_number(), "a number");
    }
  };
  const Rule item = ObjectOf({{"text", Of(Kind::Text)}, {"file", Of(Kind::Text)}, {"textBytes", Of(Kind::Word)}});
  const Rule mesh = ObjectOf({{"name", Of(Kind::Text)},          {"tag", Of(Kind::Text)},
                              {"obj", Of(Kind::Text)},           {"objObject", Of(Kind::Text)},
                              {"field0", Of(Kind::Word)},        {"field1", Of(Kind::Word)},
                              {"field2", Of(Kind::Word)},        {"headerLength", Of(Kind::Word)},
                              {"padding", Of(Kind::Layout)},     {"arrays", Of(Arrays(floats))},
                              {"raw", Of(Arrays(Values(Kind::Word)))},
                              {"counts", Of(Arrays([](const std::string& path, const json& value) {
                                 CheckValue(path, value, Kind::Word);
                               }))}});
  const Rule solid = ObjectOf({{"id", Of(Kind::Word)},           {"timeStamp", Of(Kind::Word)},
                               {"name", Of(Kind::Text)},         {"tag", Of(Kind::Text)},
                               {"flag", Of(Kind::Byte)},         {"field0", Of(Kind::Word)},
                               {"field1", Of(Kind::Word)},       {"field2", Of(Kind::Word)},
                               {"headerLength", Of(Kind::Word)}, {"padding", Of(Kind::Layout)},
                               {"meshCount", Of(Kind::Word)},    {"meshes", Of(ListOf(mesh, true))}});
  const Rule geometry = ObjectOf({{"materials", Of(ListOf(item))},     {"lights", Of(ListOf(item))},
                                  {"solids", Of(ListOf(solid, true))}, {"views", Of(item)},
                                  {"materialBlockEnd", Of(Kind::Word)}, {"lightBlockSpan", Of(Kind::Word)},
                                  {"solidBlockSize", Of(Kind::Word)},  {"viewBlockSize", Of(Kind::Word)},
                                  {"reserved16", Of(Kind::Word)},      {"materialCount", Of(Kind::Word)},
                                  {"lightCount", Of(Kind::Word)},      {"solidCount", Of(Kind::Word)}});
  const Rule change = ObjectOf({{"kind", Of(Kind::Text)}, {"ids", Of(Values(Kind::Word))}, {"idCount", Of(Kind::Word)}});
  const Rule changeList = ObjectOf({{"items", Of(ListOf(change))}, {"count", Of(Kind::Word)}});
  const Rule entry = ObjectOf({{"name", Of(Kind::Text)},        {"type", Of(Kind::TypeWord)},
                               {"offset", Of(Kind::Layout)},    {"offsetValue", Of(Kind::Word)},
                               {"geometry", Of(geometry)},      {"changeList", Of(changeList)},
                               {"hex", Of(Kind::Hex)}});
  const Rule header = ObjectOf({{"name", Of(Kind::Text)},         {"reserved0", Of(Kind::Word)},
                                {"reserved8", Of(Kind::Word)},    {"preservedWord", Of(Kind::Word16)},
                                {"headerSize", Of(Kind::Word)},   {"nameLength", Of(Kind::Word)},
                                {"lastEntryIndex", Of(Kind::Word)}});
  const Rule patch = [](const std::string& path, const json& value) {
    CheckObject(path, value, {{"at", Of(Kind::Layout)},    {"entry", Of(Kind::Layout)},
                              {"int32", Of(Kind::Word)},   {"uint32", Of(Kind::Word)},
                              {"uint8", Of(Kind::Byte)},   {"hex", Of(Kind::Hex)}});
    if (!value.contains("at")) Fail(path, "a patch needs \"at\"");
  };
  const Rule defines = [](const std::string& path, const json& object) {
    Expect(path, object, object.is_object(), "an object");
    for (auto item = object.begin(); item != object.end(); ++item) {
      CheckValue(path + "." + item.key(), item.value(), Kind::Text);
    }
  };
  return ObjectOf({{"header", Of(header)},
                   {"entries", Of(ListOf(entry))},
                   {"patches", Of(ListOf(patch))},
                   {"truncate", Of(Kind::Layout)},
                   {"defines", Of(defines)}});
}

}  // namespace

std::optional<std::string> CheckDescription(const json& description) {
  try {
    static const Rule rule = DescriptionRule();
    if (!description.is_object()) Fail("description", "expected an object, found " + TypeName(description));
    rule("", description);
  } catch (const Problem& problem) {
    return problem.text;
  }
  return std::nullopt;
}

std::optional<json> ParseDescription(const std::string& text, std::string& error) {
  try {
    return json::parse(text, nullptr, true, true);
  } catch (const json::parse_error& e) {
    // e.byte counts from 1 and names the byte at which parsing failed.
    const size_t at = std::min<size_t>(e.byte > 0 ? e.byte - 1 : 0, text.size());
    const size_t line = static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n')) + 1;
    const size_t lineStart = text.rfind('\n', at == 0 ? 0 : at - 1);
    const size_t column = at - (lineStart == std::string::npos || at == 0 ? 0 : lineStart + 1) + 1;
    // The library's text after its own position: what was expected.
    std::string what = e.what();
    const size_t detail = what.find(": ", what.find("parse error"));
    what = detail == std::string::npos ? what : what.substr(detail + 2);
    error = "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what;
    return std::nullopt;
  }
}

}  // namespace q9x
