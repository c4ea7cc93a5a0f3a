#include "pack/container_sink.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"

namespace q9x {

namespace {

constexpr size_t kFileBuffer = 1 << 20;

}  // namespace

bool MemorySink::WriteAt(uint64_t at, const void* bytes, size_t size) {
  if (bytes_.size() < at + size) bytes_.resize(static_cast<size_t>(at + size), '\0');
  if (size > 0) std::memcpy(bytes_.data() + at, bytes, size);
  return true;
}

bool MemorySink::Finish(uint64_t length) {
  bytes_.resize(static_cast<size_t>(length), '\0');
  return true;
}

FileSink::FileSink(const std::string& path)
    : buffer_(std::make_unique<char[]>(kFileBuffer)),
      file_(q9::platform::OpenFile(q9::Utf16FromUtf8(path), "wb")) {
  if (file_) std::setvbuf(file_.get(), buffer_.get(), _IOFBF, kFileBuffer);
  ok_ = file_ != nullptr;
}

bool FileSink::Zeros(uint64_t count) {
  static const char zeros[4096] = {};
  while (ok_ && count > 0) {
    const size_t step = static_cast<size_t>(std::min<uint64_t>(count, sizeof zeros));
    ok_ = std::fwrite(zeros, 1, step, file_.get()) == step;
    count -= step;
    position_ += step;
  }
  return ok_;
}

bool FileSink::WriteAt(uint64_t at, const void* bytes, size_t size) {
  if (!ok_) return false;
  // A gap is written out as zeros rather than left to the file system, so every build gives the
  // same bytes.
  if (at > length_) {
    if (position_ != length_) {
      ok_ = q9::platform::SeekFile(file_.get(), static_cast<int64_t>(length_));
    }
    position_ = length_;
    if (!Zeros(at - length_)) return false;
  }
  if (position_ != at) {
    ok_ = q9::platform::SeekFile(file_.get(), static_cast<int64_t>(at));
    position_ = at;
  }
  if (ok_ && size > 0) ok_ = std::fwrite(bytes, 1, size, file_.get()) == size;
  position_ += size;
  length_ = std::max(length_, position_);
  return ok_;
}

bool FileSink::Finish(uint64_t length) {
  if (ok_ && length > length_) WriteAt(length, nullptr, 0);
  if (file_) {
    ok_ = std::fflush(file_.get()) == 0 && ok_;
    ok_ = std::fclose(file_.release()) == 0 && ok_;
  }
  return ok_ && length_ == length;
}

}  // namespace q9x
