// The reference link library's journal read back, for tests that check the calls the renderer
// received in their exact order.
//
// The library appends one JSON line per call to the file named by Q9PLUGIN_JOURNAL:
//   {"fn":"Q9SetMaterialType","h":1,"args":["Oak",1]}
//   {"fn":"CreateSession","args":[],"ret":1}
// "h" is the session number (1 for the first session the library created, 0 for a null or
// unknown handle) and is absent for the functions without a handle; "ret" is present for
// StartLinkQ9Render, CreateSession and HasConnected. Floats are written as the shortest decimal
// that reads back to the same float, NaN and the infinities as "nan", "inf" and "-inf".
//
// Typical use:
//   EXPECT_THAT(test::CallTexts(link.Calls()),
//               ElementsAre(R"(Q9AddMaterial ["Oak"])", R"(Q9SetMaterialType ["Oak",1])"));
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace q9::test {

struct JournalCall {
  std::string fn;                     // the exported name
  std::optional<int64_t> h;           // absent for the functions that take no handle
  nlohmann::json args;                // always an array
  std::optional<nlohmann::json> ret;  // the result, where the library reports one
  std::optional<std::string> error;   // why the call failed, where the library reports it

  // The call as one comparable text: the name, a blank and the arguments as compact JSON, e.g.
  // `Q9SetMaterialFloatProperty ["Oak","Opacity",0.05000001]`. A float argument shows the digits
  // of the journal; neither "h" nor "ret" is part of the text.
  std::string Text() const;
};

// Every call of the journal file in order; empty when the file is missing or empty. A line that
// is not a journal entry becomes a call named "<unreadable>" holding the line as its one
// argument, so that a sequence comparison fails and shows it.
std::vector<JournalCall> ReadJournal(const std::u16string& path);

// The Text() of every call, in order.
std::vector<std::string> CallTexts(const std::vector<JournalCall>& calls);
// The name of every call, in order.
std::vector<std::string> CallNames(const std::vector<JournalCall>& calls);
// The calls whose name is `fn`, in order.
std::vector<JournalCall> CallsNamed(const std::vector<JournalCall>& calls, const std::string& fn);

// A text as the journal writes it: a quoted JSON string, e.g. "C:\\p\\villa.q9a" with each
// backslash doubled, for building expected call texts.
std::string JournalText(std::u16string_view text);

// A journal number read back as the float it stands for ("nan", "inf" and "-inf" included).
float JournalFloat(const nlohmann::json& value);
// A journal array of floats read back.
std::vector<float> JournalFloats(const nlohmann::json& values);

// One journal line as the reference library writes it (handle 1), with its newline.
std::string JournalLine(const char* fn, nlohmann::json args);

}  // namespace q9::test
