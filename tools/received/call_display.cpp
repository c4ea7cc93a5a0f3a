#include "received/call_display.h"

#include <nlohmann/json.hpp>

namespace q9x {

namespace {

using nlohmann::json;

// Arrays longer than this are shown by their length.
constexpr size_t kShownValues = 6;

void WriteCount(q9::JsonWriter& out, size_t count) { out.String("[" + std::to_string(count) + " values]"); }

// --- calls the shaped decoder read: their values ---

void WriteScalar(q9::JsonWriter& out, const JournalValue& value) {
  switch (value.kind) {
    case JournalValue::Kind::Bool: out.Bool(value.boolean); return;
    case JournalValue::Kind::Unsigned: out.Unsigned(value.unsignedValue); return;
    case JournalValue::Kind::Signed: out.Int(value.signedValue); return;
    case JournalValue::Kind::Real: out.Number(value.realValue); return;
    case JournalValue::Kind::Text: out.String(std::string_view(value.text, value.size)); return;
    case JournalValue::Kind::Object:
      out.BeginObject();
      out.EndObject();
      return;
    default: out.Null(); return;
  }
}

void WriteShortened(q9::JsonWriter& out, const JournalCall& call, const JournalValue* values, size_t count) {
  if (count > kShownValues) return WriteCount(out, count);
  out.BeginArray();
  for (size_t i = 0; i < count; ++i) {
    const JournalValue& value = values[i];
    if (value.kind == JournalValue::Kind::Array) {
      WriteShortened(out, call, call.elements.data() + value.first, value.size);
    } else {
      WriteScalar(out, value);
    }
  }
  out.EndArray();
}

// --- calls the general reader read: its document ---

// `value` in full, but with `shortened` its arrays and the arrays within them (not those within
// an object) shortened.
void WriteDocumentValue(q9::JsonWriter& out, const json& value, bool shortened) {
  switch (value.type()) {
    case json::value_t::boolean: out.Bool(value.get<bool>()); return;
    case json::value_t::number_unsigned: out.Unsigned(value.get<uint64_t>()); return;
    case json::value_t::number_integer: out.Int(value.get<int64_t>()); return;
    case json::value_t::number_float: out.Number(value.get<double>()); return;
    case json::value_t::string: out.String(value.get_ref<const std::string&>()); return;
    case json::value_t::array:
      if (shortened && value.size() > kShownValues) return WriteCount(out, value.size());
      out.BeginArray();
      for (const json& element : value) WriteDocumentValue(out, element, shortened);
      out.EndArray();
      return;
    case json::value_t::object:
      // In the order of the keys, as the document keeps them.
      out.BeginObject();
      for (const auto& [key, member] : value.items()) {
        out.Key(key);
        WriteDocumentValue(out, member, false);
      }
      out.EndObject();
      return;
    default: out.Null(); return;
  }
}

// "args" of either kind of call: an array (of no values when the line had none).
void WriteArgs(q9::JsonWriter& out, const JournalCall& call) {
  if (const json* document = call.document()) {
    const auto args = document->find("args");
    if (args != document->end()) return WriteDocumentValue(out, *args, true);
    out.BeginArray();
    out.EndArray();
    return;
  }
  WriteShortened(out, call, call.args.data(), call.args.size());
}

bool HasRet(const JournalCall& call) {
  return call.document() ? call.document()->contains("ret") : call.ret.has_value();
}

// "ret" of a call that has one, in full.
void WriteRet(q9::JsonWriter& out, const JournalCall& call) {
  if (const json* document = call.document()) return WriteDocumentValue(out, document->at("ret"), false);
  WriteScalar(out, *call.ret);
}

}  // namespace

void AppendCallLine(std::string& out, const JournalCall& call) {
  out += call.fn;
  out += ' ';
  q9::JsonWriter values(out, q9::JsonDumpOptions(false));
  WriteArgs(values, call);
  if (HasRet(call)) {
    out += " -> ";
    WriteRet(values, call);
  }
  out += '\n';
}

void WriteCallJson(q9::JsonWriter& out, const JournalCall& call) {
  out.BeginObject();
  out.Key("args");
  WriteArgs(out, call);
  out.Key("fn");
  out.String(call.fn);
  if (HasRet(call)) {
    out.Key("ret");
    WriteRet(out, call);
  }
  out.EndObject();
}

}  // namespace q9x
