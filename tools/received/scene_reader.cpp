#include "received/scene_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/platform.h"
#include "base/text.h"
#include "received/apply_call.h"

namespace q9x {

namespace {

// Up to `limit` bytes of a line, with what is not printable ASCII as \xNN.
std::string Printable(std::string_view bytes, size_t limit) {
  std::string text;
  for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F) {
      text += static_cast<char>(c);
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      text += "\\x";
      text += kHex[c >> 4];
      text += kHex[c & 15];
    }
  }
  if (bytes.size() > limit) text += "...";
  return text;
}

std::string LineName(const LineReader& lines) {
  return "line " + std::to_string(lines.number()) + " (byte " + std::to_string(lines.offset()) + ")";
}

// A source read from its start; `restart` gives a new one from the start again (for reading a
// raw archive after its first line has been read), nothing when it cannot.
using Restart = std::function<std::optional<ByteSource>()>;

// The source read again from its start as a raw archive; nothing when it is none.
std::optional<ReceivedScene> ReadAsArchive(const Restart& restart) {
  std::optional<ByteSource> again = restart();
  return again ? ReadArchive(*again) : std::nullopt;
}

std::optional<ReadScene> Read(ByteSource source, const Restart& restart, const ReadOptions& options,
                              ReadFailure& failure) {
  ReadScene read;
  LineReader lines(std::move(source), size_t{1} << 20, options.maxLine);
  JournalDecoder decoder;
  JournalCall call;
  std::optional<uint64_t> openStep;  // the step whose calls are being applied (onStepEnd)
  while (lines.Next()) {
    const std::string_view line = lines.line();
    if (line.empty()) continue;
    if (lines.tooLong() || !decoder.Decode(line, call)) {
      const bool journalLike = StartsLikeJournalLine(line);
      if (!lines.tooLong() && !lines.terminated() && journalLike) {
        read.cutShort = LineName(lines) + " is cut short: the file ends inside that call";
        break;
      }
      // A first line that is no call may start a raw archive, which its own reader reads.
      if (read.callCount == 0 && !(lines.tooLong() && journalLike)) {
        if (std::optional<ReceivedScene> archive = ReadAsArchive(restart)) {
          read.kind = ReadScene::Kind::Archive;
          read.scene = std::move(*archive);
          return read;
        }
      }
      if (lines.tooLong()) {
        read.skipped.push_back(LineName(lines) + " is longer than " + std::to_string(lines.maxLine()) +
                               " bytes: skipped");
        continue;
      }
      failure.message = LineName(lines) + " is not a journal call: " + Printable(line, 60);
      return std::nullopt;
    }
    if (options.lastStep) {
      if (!call.step) {
        failure.message = LineName(lines) + " has no \"step\": not the journal of a replay";
        return std::nullopt;
      }
      if (*call.step > *options.lastStep) continue;
    }
    if (options.onStepEnd && call.step && (!openStep || *call.step > *openStep)) {
      if (openStep) options.onStepEnd(*openStep, call.step, read);
      openStep = call.step;
    }
    if (options.onCall) options.onCall(call);
    ApplyCall(read.scene, call, options.holdMeshes, options.printMeshes);
    ++read.callCount;
  }
  read.scene.EndNode();
  if (openStep) options.onStepEnd(*openStep, std::nullopt, read);
  return read;
}

}  // namespace

LineReader::LineReader(ByteSource source, size_t block, size_t maxLine)
    : source_(std::move(source)),
      buffer_(std::max<size_t>(block, 16)),
      maxLine_(std::clamp<size_t>(maxLine, 1, std::numeric_limits<size_t>::max() / 2)) {}

void LineReader::TooLong(size_t from) {
  line_ = std::string_view(buffer_.data() + begin_, maxLine_);
  tooLong_ = true;
  terminated_ = true;
  offset_ = base_ + begin_;
  begin_ = scanned_ = from;
}

bool LineReader::Next() {
  tooLong_ = false;
  for (;;) {
    if (const void* found = std::memchr(buffer_.data() + scanned_, '\n', end_ - scanned_)) {
      const size_t at = static_cast<size_t>(static_cast<const char*>(found) - buffer_.data());
      if (skipping_) {
        skipping_ = false;
        begin_ = scanned_ = at + 1;
        continue;
      }
      if (at - begin_ > maxLine_) {
        TooLong(at + 1);
        break;
      }
      line_ = std::string_view(buffer_.data() + begin_, at - begin_);
      terminated_ = true;
      offset_ = base_ + begin_;
      begin_ = scanned_ = at + 1;
      break;
    }
    scanned_ = end_;
    // What is left of a line reported too long is dropped as it comes.
    if (skipping_) begin_ = end_;
    if (!skipping_ && end_ - begin_ > maxLine_) {
      skipping_ = true;
      TooLong(end_);
      break;
    }
    if (atEnd_) {
      if (begin_ == end_) return false;
      line_ = std::string_view(buffer_.data() + begin_, end_ - begin_);
      terminated_ = false;
      offset_ = base_ + begin_;
      begin_ = scanned_ = end_;
      break;
    }
    // The start of a line stays; what came before it makes room. A line longer than the buffer
    // doubles it, up to one byte more than the longest line it holds.
    if (begin_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      base_ += begin_;
      end_ -= begin_;
      scanned_ -= begin_;
      begin_ = 0;
    }
    if (end_ == buffer_.size()) buffer_.resize(std::min(buffer_.size() * 2, maxLine_ + 1));
    const size_t got = source_(buffer_.data() + end_, buffer_.size() - end_);
    if (got == 0) atEnd_ = true;
    end_ += got;
  }
  ++number_;
  if (!tooLong_ && !line_.empty() && line_.back() == '\r') line_.remove_suffix(1);
  return true;
}

std::optional<ReadScene> ReadSceneFile(const std::string& path, const ReadOptions& options, ReadFailure& failure) {
  const q9::platform::UniqueFile file = q9::platform::OpenFile(q9::Utf16FromUtf8(path), "rb");
  if (!file) {
    failure.unreadable = true;
    failure.message = "cannot read " + path;
    return std::nullopt;
  }
  std::FILE* in = file.get();
  const ByteSource source = [in](char* into, size_t size) { return std::fread(into, 1, size, in); };
  const Restart restart = [in, &source]() -> std::optional<ByteSource> {
    if (std::fseek(in, 0, SEEK_SET) != 0) return std::nullopt;
    return source;
  };
  std::optional<ReadScene> read = Read(source, restart, options, failure);
  if (std::ferror(in)) {
    failure.unreadable = true;
    failure.message = "cannot read " + path;
    return std::nullopt;
  }
  return read;
}

std::optional<ReadScene> ParseSceneText(const std::string& text, std::string& error, bool holdMeshes) {
  const auto from = [&text](size_t start) {
    return [&text, at = start](char* into, size_t size) mutable {
      const size_t count = std::min(size, text.size() - at);
      std::memcpy(into, text.data() + at, count);
      at += count;
      return count;
    };
  };
  ReadOptions options;
  options.holdMeshes = holdMeshes;
  ReadFailure failure;
  std::optional<ReadScene> read =
      Read(from(0), [&]() -> std::optional<ByteSource> { return from(0); }, options, failure);
  if (!read) error = failure.message;
  return read;
}

}  // namespace q9x
