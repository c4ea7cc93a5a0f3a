// Where a packed container goes: a file, or memory for tests. The writer places its bytes at
// absolute offsets, mostly one after another, sometimes back over what it wrote before (a section
// placed over the directory, a patch), so a sink is seekable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/platform.h"

namespace q9x {

class ContainerSink {
 public:
  virtual ~ContainerSink() = default;
  // Writes `size` bytes at `at`, over what is there. A gap between the current end and `at`
  // reads as zeros. False when the bytes could not be written; later writes then fail too.
  virtual bool WriteAt(uint64_t at, const void* bytes, size_t size) = 0;
  // Makes the sink exactly `length` bytes long: zeros are added up to it; nothing beyond it has
  // been written (the writer never writes past the length it plans). False on a write error.
  virtual bool Finish(uint64_t length) = 0;
};

// The bytes in memory.
class MemorySink : public ContainerSink {
 public:
  bool WriteAt(uint64_t at, const void* bytes, size_t size) override;
  bool Finish(uint64_t length) override;
  const std::string& bytes() const { return bytes_; }
  std::string Take() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

// A file, created or emptied when the sink opens it. Consecutive writes go out through one
// buffer; a write elsewhere seeks.
class FileSink : public ContainerSink {
 public:
  // `path` in UTF-8, as given on a command line.
  explicit FileSink(const std::string& path);
  bool opened() const { return file_ != nullptr; }
  bool WriteAt(uint64_t at, const void* bytes, size_t size) override;
  // Also flushes and closes the file.
  bool Finish(uint64_t length) override;

 private:
  bool Zeros(uint64_t count);

  std::unique_ptr<char[]> buffer_;  // the file's buffer: declared first, so it outlives the file
  q9::platform::UniqueFile file_;
  uint64_t position_ = 0;  // where the file's position is
  uint64_t length_ = 0;    // the end of the furthest write
  bool ok_ = true;
};

}  // namespace q9x
