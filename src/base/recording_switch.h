// The recording switch: the file "Q9_Recording.json" in the exchange folder. While it is there,
// the working instance keeps the files each request reads in the recording folder it names
// (docs/recording.md). `q9x record start` writes it, `q9x record stop` removes it.
//   {"format": 1, "folder": "C:\\Users\\ann\\AppData\\Local\\Q9_Exchange\\Recording",
//    "maxSize": 2147483648}
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace q9 {

struct RecordingSwitch {
  static constexpr char16_t kFileName[] = u"Q9_Recording.json";
  static constexpr int64_t kFormat = 1;
  static constexpr int64_t kDefaultMaxSize = int64_t{2} << 30;
  // A switch is a line of text: a larger file is no switch, and is not read whole.
  static constexpr int64_t kMostBytes = 64 * 1024;

  std::u16string folder;  // where the recording is kept
  int64_t maxSize = kDefaultMaxSize;  // the most bytes the recording may hold
};

// The switch as its file holds it: one JSON object on one line, with a line feed.
std::string RecordingSwitchText(const RecordingSwitch& recordingSwitch);

// Reads a switch's text: a JSON object with "folder" (a non-empty string) and optionally
// "maxSize" (a whole number above 0) and "format" (1); other members with plain values are
// passed over. Nothing, with the reason in `problem` ("folder: missing", "maxSize: not a whole
// number above 0", "line 1, byte 12: '}' expected"), when the text is not such a switch.
std::optional<RecordingSwitch> ParseRecordingSwitch(std::string_view text, std::string& problem);

}  // namespace q9
