// The reference link library's journal as q9x reads it, under libFuzzer: the input is a journal,
// read one line at a time as `summary` and `view` read it; each line is decoded, shown as
// `summary` shows it (as a line and as JSON), and applied to a received scene. Then that scene
// goes through the raw archive and back (fuzz_received.h).
//
// Checked beyond the sanitizers: a line the decoder takes on its fast way (the shape the library
// writes) is valid JSON whose "fn", "args" and "ret" a JSON reader reads to the same values; a
// call shown as JSON is valid JSON. Each line is decoded, shown and applied every time it comes;
// these two checks of the JSON reader's run once for each distinct line in a run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "fuzz_received.h"
#include "base/json_writer.h"
#include "received/apply_call.h"
#include "received/call_display.h"
#include "received/journal_decoder.h"
#include "received/scene_reader.h"

namespace {

using nlohmann::json;

// The reader's limit on a line, below the inputs' -max_len so that lines beyond it are skipped
// as the reader skips them beyond its own.
constexpr size_t kMaxLine = 8192;
using q9x::JournalCall;
using q9x::JournalValue;

[[noreturn]] void Fault(const char* what, std::string_view line) {
  std::fprintf(stderr, "%s: %.*s\n", what, static_cast<int>(line.size()), line.data());
  std::abort();
}

// Whether `value` (of `call`) holds what a JSON reader reads as `expected`.
bool Same(const JournalCall& call, const JournalValue& value, const json& expected) {
  using Kind = JournalValue::Kind;
  switch (expected.type()) {
    case json::value_t::null: return value.kind == Kind::Null;
    case json::value_t::boolean:
      return value.kind == Kind::Bool && value.boolean == expected.get<bool>();
    case json::value_t::number_unsigned:
      return value.kind == Kind::Unsigned && value.unsignedValue == expected.get<uint64_t>();
    case json::value_t::number_integer:
      return value.kind == Kind::Signed && value.signedValue == expected.get<int64_t>();
    case json::value_t::number_float:
      return value.kind == Kind::Real && value.realValue == expected.get<double>();
    case json::value_t::string: {
      const std::string& text = expected.get_ref<const std::string&>();
      return value.kind == Kind::Text && std::string_view(value.text, value.size) == text;
    }
    case json::value_t::array:
      if (value.kind != Kind::Array || value.size != expected.size()) return false;
      for (size_t i = 0; i < expected.size(); ++i) {
        if (!Same(call, call.Element(value, i), expected[i])) return false;
      }
      return true;
    case json::value_t::object: return value.kind == Kind::Object;
    default: return false;
  }
}

void CheckFastWay(const JournalCall& call, std::string_view line) {
  const json document = json::parse(line.begin(), line.end(), nullptr, false);
  if (!document.is_object()) Fault("taken on the fast way, but not a JSON object", line);
  const auto fn = document.find("fn");
  if (fn == document.end() || !fn->is_string() || fn->get_ref<const std::string&>() != call.fn) {
    Fault("fn read otherwise on the fast way", line);
  }
  const auto args = document.find("args");
  const json noArgs = json::array();
  const json& expected = args != document.end() && args->is_array() ? *args : noArgs;
  if (expected.size() != call.args.size()) Fault("args counted otherwise on the fast way", line);
  for (size_t i = 0; i < expected.size(); ++i) {
    if (!Same(call, call.args[i], expected[i])) Fault("an argument read otherwise", line);
  }
  const auto ret = document.find("ret");
  if ((ret != document.end()) != call.ret.has_value() ||
      (call.ret && !Same(call, *call.ret, *ret))) {
    Fault("ret read otherwise on the fast way", line);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The JSON reader's checks run once for each line (fuzz_received.h, PassedTexts).
  static q9::fuzz::PassedTexts checkedLines;
  size_t at = 0;
  q9x::LineReader lines(
      [&](char* into, size_t room) {
        const size_t count = std::min(room, size - at);
        std::memcpy(into, data + at, count);
        at += count;
        return count;
      },
      4096, kMaxLine);
  q9x::JournalDecoder decoder;
  JournalCall call;
  q9x::ReceivedScene scene;
  std::string shown;
  while (lines.Next()) {
    const std::string_view line = lines.line();
    if (!decoder.Decode(line, call)) {
      volatile bool cut = q9x::StartsLikeJournalLine(line);
      (void)cut;
      continue;
    }
    shown.clear();
    q9x::AppendCallLine(shown, call);
    shown.clear();
    q9::JsonWriter writer(shown, q9::JsonDumpOptions(true));
    q9x::WriteCallJson(writer, call);
    // The call, and so what is shown of it, follows from the line alone.
    checkedLines.CheckOnce(line, [&] {
      if (!call.readByGeneralParser()) CheckFastWay(call, line);
      if (!json::accept(shown)) Fault("shown as JSON that is not valid", line);
    });
    for (const JournalValue& value : call.args) {
      volatile float sink = q9x::FloatOf(value) + static_cast<float>(q9x::IntOf(value));
      (void)sink;
    }
    q9x::ApplyCall(scene, call, true);
  }
  scene.EndNode();
  volatile int64_t triangles = scene.Triangles();
  (void)triangles;
  q9::fuzz::CheckArchiveRoundTrip(scene);
  return 0;
}
