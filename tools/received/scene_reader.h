// The received scene rebuilt from a file: the reference link library's journal, read as a stream
// one line at a time and applied call by call, or its raw archive.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "received/journal_decoder.h"
#include "received/raw_archive.h"
#include "received/received_scene.h"

namespace q9x {

struct ReadOptions {
  bool holdMeshes = false;  // keep array 1 of MaxAddTriangles as positions
  // Each journal call as it is decoded, before it is applied.
  std::function<void(const JournalCall&)> onCall;
};

// Why a source could not be read.
struct ReadFailure {
  bool unreadable = false;  // the file could not be opened or read
  std::string message;      // else what in it is neither a journal nor an archive
};

// A file is a journal when its first line that is not empty is a journal call (one JSON object
// with "fn" a line; empty lines allowed), else a raw archive (one JSON object with "format").
// Nothing, and the reason on `failure`, when it is neither: the first line that is not a journal
// call is named with its number and byte offset. Memory follows the scene and the longest line,
// never the file.
std::optional<ReadScene> ReadSceneFile(const std::string& path, const ReadOptions& options,
                                       ReadFailure& failure);
// The same from text in memory. Mesh positions are held unless `holdMeshes` is false.
std::optional<ReadScene> ParseSceneText(const std::string& text, std::string& error, bool holdMeshes = true);

// The lines of a source, one at a time, in a buffer that grows only for a line longer than it.
class LineReader {
 public:
  explicit LineReader(ByteSource source, size_t block = size_t{1} << 20);
  // The next line, without its line feed and a carriage return before that; false at the end.
  bool Next();
  std::string_view line() const { return line_; }
  size_t number() const { return number_; }      // from 1
  uint64_t offset() const { return offset_; }    // of the line's first byte
  bool terminated() const { return terminated_; }  // false for a last line without line feed
  size_t capacity() const { return buffer_.size(); }

 private:
  ByteSource source_;
  std::vector<char> buffer_;
  size_t begin_ = 0, scanned_ = 0, end_ = 0;
  uint64_t base_ = 0;  // the offset of buffer_[0]
  bool atEnd_ = false;
  std::string_view line_;
  size_t number_ = 0;
  uint64_t offset_ = 0;
  bool terminated_ = true;
};

}  // namespace q9x
