#include "journal.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>

#include "base/text.h"
#include "test_files.h"

namespace q9::test {

namespace {

// The shortest text of a float, so that a float argument reads as the journal wrote it.
std::string FloatText(double value) {
  char buffer[32];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value));
  return std::string(buffer, written.ptr);
}

// Compact JSON in which every non-integer number is shown as the float it stands for.
void AppendCompact(std::string& out, const nlohmann::json& value) {
  if (value.is_array()) {
    out += '[';
    for (size_t i = 0; i < value.size(); ++i) {
      if (i > 0) out += ',';
      AppendCompact(out, value[i]);
    }
    out += ']';
  } else if (value.is_number_float()) {
    out += FloatText(value.get<double>());
  } else {
    out += value.dump();
  }
}

}  // namespace

std::string JournalCall::Text() const {
  std::string text = fn + " ";
  AppendCompact(text, args);
  return text;
}

std::vector<JournalCall> ReadJournal(const std::u16string& path) {
  std::vector<JournalCall> calls;
  std::istringstream lines(ReadFileBytes(path));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    JournalCall call;
    const nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
    if (entry.is_object() && entry.contains("fn") && entry["fn"].is_string() &&
        entry.contains("args") && entry["args"].is_array()) {
      call.fn = entry["fn"].get<std::string>();
      call.args = entry["args"];
      if (entry.contains("h")) call.h = entry["h"].get<int64_t>();
      if (entry.contains("ret")) call.ret = entry["ret"];
      if (entry.contains("error") && entry["error"].is_string()) {
        call.error = entry["error"].get<std::string>();
      }
    } else {
      call.fn = "<unreadable>";
      call.args = nlohmann::json::array({line});
    }
    calls.push_back(std::move(call));
  }
  return calls;
}

std::vector<std::string> CallTexts(const std::vector<JournalCall>& calls) {
  std::vector<std::string> texts;
  for (const JournalCall& call : calls) texts.push_back(call.Text());
  return texts;
}

std::vector<std::string> CallNames(const std::vector<JournalCall>& calls) {
  std::vector<std::string> names;
  for (const JournalCall& call : calls) names.push_back(call.fn);
  return names;
}

std::vector<JournalCall> CallsNamed(const std::vector<JournalCall>& calls, const std::string& fn) {
  std::vector<JournalCall> named;
  for (const JournalCall& call : calls) {
    if (call.fn == fn) named.push_back(call);
  }
  return named;
}

std::string JournalText(std::u16string_view text) {
  return nlohmann::json(Utf8FromUtf16(text)).dump();
}

float JournalFloat(const nlohmann::json& value) {
  if (value.is_string()) {
    const std::string text = value.get<std::string>();
    if (text == "nan") return std::numeric_limits<float>::quiet_NaN();
    if (text == "inf") return std::numeric_limits<float>::infinity();
    if (text == "-inf") return -std::numeric_limits<float>::infinity();
  }
  return value.is_number() ? value.get<float>() : std::numeric_limits<float>::quiet_NaN();
}

std::vector<float> JournalFloats(const nlohmann::json& values) {
  std::vector<float> floats;
  if (!values.is_array()) return floats;
  for (const auto& value : values) floats.push_back(JournalFloat(value));
  return floats;
}

std::string JournalLine(const char* fn, nlohmann::json args) {
  return nlohmann::json{{"fn", fn}, {"h", 1}, {"args", std::move(args)}}.dump() + "\n";
}

}  // namespace q9::test
