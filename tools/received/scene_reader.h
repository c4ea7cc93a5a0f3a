// The received scene rebuilt from a file: the reference link library's journal, read as a stream
// one line at a time and applied call by call, or its raw archive.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "received/journal_decoder.h"
#include "received/raw_archive.h"
#include "received/received_scene.h"

namespace q9x {

// The longest journal line read by default. The longest line the reference library writes is a
// MaxAddTriangles of the largest mesh a container can hold: array 1's count is a uint32, so at
// most 477 218 588 whole triangles, whose 4 294 967 292 words the line shows with up to 10
// digits and a comma each (47 244 640 212 bytes); the mesh name, a string of up to 2^32 - 1
// UTF-16 units, at most 6 bytes a unit ("\u001f": 25 769 803 770 bytes); the rest of the line
// under 200 bytes. About 68 GiB in all: a limit of 80 GiB never skips a line the library wrote.
inline constexpr uint64_t kLongestLibraryLine = uint64_t{4294967292} * 11 + uint64_t{4294967295} * 6 + 200;
inline constexpr size_t kDefaultMaxLine =
    static_cast<size_t>(std::min<uint64_t>(uint64_t{80} << 30, std::numeric_limits<size_t>::max() / 2));
static_assert(sizeof(size_t) < 8 || kDefaultMaxLine > kLongestLibraryLine);

struct ReadOptions {
  bool holdMeshes = false;  // keep array 1 of MaxAddTriangles as positions
  bool printMeshes = false;  // give each mesh the PositionsPrint of array 1 (received_scene.h)
  // Apply only the calls of lines whose "step" is at most this (a replay's journal: the scene
  // after that step). A call without a step then fails the read, which names its line.
  std::optional<uint64_t> lastStep;
  // A journal line of more bytes than this is named in ReadScene::skipped and skipped; reading
  // goes on with the next line, and memory stays within about this many bytes for the line.
  size_t maxLine = kDefaultMaxLine;
  // Each journal call as it is decoded, before it is applied.
  std::function<void(const JournalCall&)> onCall;
  // A replay's journal read step by step: called with the scene so far once the last call of a
  // step has been applied, for each step that has calls, in order: when a call of a later step
  // comes (`next` is its step; the steps between made no call), and at the end of the journal
  // (`next` none). A call whose step is below the one before it counts as of that step; calls
  // without a step are not steps' ends.
  std::function<void(uint64_t step, std::optional<uint64_t> next, const ReadScene& read)> onStepEnd;
};

// Why a source could not be read.
struct ReadFailure {
  bool unreadable = false;  // the file could not be opened or read
  std::string message;      // else what in it is neither a journal nor an archive
};

// A file is a journal when its first line that is not empty is a journal call (one JSON object
// with "fn" a line; empty lines allowed), else a raw archive (one JSON object with "format").
// Nothing, and the reason on `failure`, when it is neither: the first line that is not a journal
// call is named with its number and byte offset. A line longer than `options.maxLine` is
// skipped and named in ReadScene::skipped (a first line that does not start as the library's
// lines do is tried as a raw archive first).
// Any bytes are safe; memory is the scene and the longest line up to `options.maxLine`.
std::optional<ReadScene> ReadSceneFile(const std::string& path, const ReadOptions& options,
                                       ReadFailure& failure);
// The same from text in memory. Mesh positions are held unless `holdMeshes` is false.
std::optional<ReadScene> ParseSceneText(const std::string& text, std::string& error, bool holdMeshes = true);

// The lines of a source, one at a time, in a buffer that grows only for a line longer than it.
// Any bytes are safe; memory is the larger of `block` and `maxLine` + 1 bytes, however long a line.
class LineReader {
 public:
  explicit LineReader(ByteSource source, size_t block = size_t{1} << 20, size_t maxLine = kDefaultMaxLine);
  // The next line, without its line feed and a carriage return before that; false at the end.
  // A line of more than `maxLine` bytes before its line feed is tooLong(): line() holds its first
  // `maxLine` bytes, and the next call skips the rest of it.
  bool Next();
  std::string_view line() const { return line_; }
  size_t number() const { return number_; }      // from 1
  uint64_t offset() const { return offset_; }    // of the line's first byte
  bool terminated() const { return terminated_; }  // false for a last line without line feed
  bool tooLong() const { return tooLong_; }
  size_t maxLine() const { return maxLine_; }
  size_t capacity() const { return buffer_.size(); }

 private:
  // Reports the line that starts at begin_ as too long; its rest is skipped from `from` on.
  void TooLong(size_t from);

  ByteSource source_;
  std::vector<char> buffer_;
  size_t maxLine_;
  size_t begin_ = 0, scanned_ = 0, end_ = 0;
  uint64_t base_ = 0;  // the offset of buffer_[0]
  bool atEnd_ = false;
  bool skipping_ = false;  // up to the next line feed, the rest of a line reported too long
  std::string_view line_;
  size_t number_ = 0;
  uint64_t offset_ = 0;
  bool terminated_ = true;
  bool tooLong_ = false;
};

}  // namespace q9x
