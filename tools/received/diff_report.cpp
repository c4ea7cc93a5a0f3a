#include "received/diff_report.h"

#include <charconv>
#include <cmath>
#include <type_traits>

namespace q9x {

namespace {

constexpr DiffKind kKinds[] = {DiffKind::Added, DiffKind::Removed, DiffKind::Changed};
constexpr DiffSubject kSubjects[] = {DiffSubject::Model, DiffSubject::Material, DiffSubject::Light,
                                     DiffSubject::Node,  DiffSubject::Scene,    DiffSubject::Camera};

// The model and the camera are one each; the others are lists.
bool IsList(DiffSubject subject) { return subject != DiffSubject::Model && subject != DiffSubject::Camera; }

std::string Plural(DiffSubject subject) { return std::string(SubjectName(subject)) + (IsList(subject) ? "s" : ""); }

std::string FloatText(float value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string ValueText(const DiffValue& value) {
  return std::visit([](const auto& v) -> std::string {
    using V = std::decay_t<decltype(v)>;
    if constexpr (std::is_same_v<V, std::monostate>) {
      return "none";
    } else if constexpr (std::is_same_v<V, bool>) {
      return v ? "true" : "false";
    } else if constexpr (std::is_same_v<V, int64_t>) {
      return std::to_string(v);
    } else if constexpr (std::is_same_v<V, float>) {
      return FloatText(v);
    } else if constexpr (std::is_same_v<V, std::string>) {
      std::string quoted;
      q9::AppendJsonString(quoted, v);
      return quoted;
    } else {
      std::string text = "[";
      for (size_t i = 0; i < v.size(); ++i) text += (i ? "," : "") + ValueText(DiffValue(v[i]));
      return text + "]";
    }
  }, value);
}

void WriteValue(q9::JsonWriter& out, const DiffValue& value) {
  std::visit([&out](const auto& v) {
    using V = std::decay_t<decltype(v)>;
    if constexpr (std::is_same_v<V, std::monostate>) {
      out.Null();
    } else if constexpr (std::is_same_v<V, bool>) {
      out.Bool(v);
    } else if constexpr (std::is_same_v<V, int64_t>) {
      out.Int(v);
    } else if constexpr (std::is_same_v<V, float>) {
      out.Number(v);
    } else if constexpr (std::is_same_v<V, std::string>) {
      out.String(v);
    } else {
      out.BeginArray(true);
      for (const auto& element : v) WriteValue(out, DiffValue(element));
      out.EndArray();
    }
  }, value);
}

std::string SideText(const DiffSide& side) {
  std::string text = (side.archive ? "raw archive " : "journal ") + side.source;
  if (side.step) text += ", after step " + std::to_string(*side.step);
  return text;
}

// Why positions were not compared, or empty when they were.
std::string PositionsNote(const DiffSide& before, const DiffSide& after) {
  if (!before.archive && !after.archive) return "";
  return std::string("positions and bounds not compared: ") + (before.archive ? "A" : "B") +
         " is a raw archive, which holds none";
}

void WriteSide(q9::JsonWriter& out, const DiffSide& side) {
  out.BeginObject();
  out.Key("kind");
  out.String(side.archive ? "archive" : "journal");
  out.Key("source");
  out.String(side.source);
  out.Key("step");
  if (side.step) {
    out.Unsigned(*side.step);
  } else {
    out.Null();
  }
  out.EndObject();
}

void WriteCounts(q9::JsonWriter& out, const DiffCounts& counts) {
  // By subject in the order of their names, as every object of the document.
  constexpr DiffSubject kByName[] = {DiffSubject::Camera, DiffSubject::Light, DiffSubject::Material,
                                     DiffSubject::Model, DiffSubject::Node, DiffSubject::Scene};
  out.BeginObject();
  for (const DiffSubject subject : kByName) {
    out.Key(SubjectName(subject));
    out.BeginObject();
    for (const DiffKind kind : {DiffKind::Added, DiffKind::Changed, DiffKind::Removed}) {
      out.Key(KindName(kind));
      out.Unsigned(counts.At(subject, kind));
    }
    out.EndObject();
  }
  out.EndObject();
}

}  // namespace

bool DiffShown::Take(const Difference& difference) {
  uint64_t& shown = shown_.At(difference.subject, difference.kind);
  if (shown >= limit_) return false;
  ++shown;
  return true;
}

uint64_t DiffShown::Left(DiffSubject subject, DiffKind kind) const {
  const uint64_t all = counts_.At(subject, kind);
  return all > limit_ ? all - limit_ : 0;
}

bool DiffShown::All() const {
  for (const DiffSubject subject : kSubjects) {
    for (const DiffKind kind : kKinds) {
      if (Left(subject, kind) > 0) return false;
    }
  }
  return true;
}

std::string CountsText(const DiffCounts& counts) {
  std::string text;
  for (const DiffSubject subject : kSubjects) {
    std::string kinds;
    for (const DiffKind kind : kKinds) {
      const uint64_t count = counts.At(subject, kind);
      if (count == 0) continue;
      if (!kinds.empty()) kinds += ",";
      kinds += IsList(subject) ? " " + std::to_string(count) + " " + KindName(kind) : std::string(" ") + KindName(kind);
    }
    if (kinds.empty()) continue;
    text += (text.empty() ? "" : "; ") + Plural(subject) + kinds;
  }
  return text;
}

std::string DifferenceText(const Difference& difference) {
  std::string text = SubjectName(difference.subject);
  if (IsList(difference.subject)) {
    text += " ";
    q9::AppendJsonString(text, difference.name);
  }
  text += std::string(" ") + KindName(difference.kind);
  for (size_t i = 0; i < difference.fields.size(); ++i) {
    const FieldDifference& field = difference.fields[i];
    text += i ? "; " : ": ";
    text += field.field;
    if (field.field == "property") {
      text += " ";
      q9::AppendJsonString(text, field.property);
    }
    text += " " + ValueText(field.before) + " -> " + ValueText(field.after);
  }
  return text;
}

DiffText::DiffText(std::ostream& out, const DiffSide& before, const DiffSide& after, const DiffCounts& counts,
                   size_t limit)
    : out_(out), shown_(counts, limit) {
  out_ << "A: " << SideText(before) << "\nB: " << SideText(after) << "\n";
  const std::string note = PositionsNote(before, after);
  if (!note.empty()) out_ << note << "\n";
  if (counts.Total() == 0) {
    out_ << "the scenes are the same\n";
  } else {
    out_ << "the scenes differ: " << CountsText(counts) << "\n";
  }
}

void DiffText::Add(const Difference& difference) {
  if (shown_.Take(difference)) out_ << "  " << DifferenceText(difference) << "\n";
}

void DiffText::Finish() {
  for (const DiffSubject subject : kSubjects) {
    for (const DiffKind kind : kKinds) {
      if (const uint64_t left = shown_.Left(subject, kind)) {
        out_ << "  ... " << left << " more " << Plural(subject) << " " << KindName(kind) << " (--all lists every one)\n";
      }
    }
  }
}

DiffJson::DiffJson(q9::JsonWriter& out, const DiffSide& before, const DiffSide& after, const DiffCounts& counts,
                   size_t limit)
    : out_(out), shown_(counts, limit), positionsCompared_(PositionsNote(before, after).empty()) {
  out_.BeginObject();
  out_.Key("after");
  WriteSide(out_, after);
  out_.Key("before");
  WriteSide(out_, before);
  out_.Key("counts");
  WriteCounts(out_, counts);
  out_.Key("differences");
  out_.BeginArray();
}

void DiffJson::Add(const Difference& difference) {
  if (!shown_.Take(difference)) return;
  out_.BeginObject();
  out_.Key("fields");
  out_.BeginArray();
  for (const FieldDifference& field : difference.fields) {
    out_.BeginObject();
    out_.Key("after");
    WriteValue(out_, field.after);
    out_.Key("before");
    WriteValue(out_, field.before);
    out_.Key("field");
    out_.String(field.field);
    if (field.field == "property") {
      out_.Key("property");
      out_.String(field.property);
    }
    out_.EndObject();
  }
  out_.EndArray();
  out_.Key("kind");
  out_.String(KindName(difference.kind));
  out_.Key("name");
  out_.String(difference.name);
  out_.Key("subject");
  out_.String(SubjectName(difference.subject));
  out_.EndObject();
}

void DiffJson::Finish() {
  out_.EndArray();
  out_.Key("listedAll");
  out_.Bool(shown_.All());
  out_.Key("positionsCompared");
  out_.Bool(positionsCompared_);
  out_.Key("same");
  out_.Bool(shown_.counts().Total() == 0);
  out_.EndObject();
}

}  // namespace q9x
