#include "common/zip_archive.h"

#include <zlib.h>

#include <algorithm>

#include "base/platform.h"

namespace q9x::zip {

namespace {

constexpr size_t kOutBlock = size_t{1} << 16;
// zlib counts its input in 32-bit units; larger pieces are handed over in parts.
constexpr size_t kInPiece = size_t{1} << 30;

void Put16(std::string& out, uint16_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>(value >> 8));
}
void Put32(std::string& out, uint32_t value) {
  Put16(out, static_cast<uint16_t>(value & 0xFFFF));
  Put16(out, static_cast<uint16_t>(value >> 16));
}
void Put64(std::string& out, uint64_t value) {
  Put32(out, static_cast<uint32_t>(value & 0xFFFFFFFF));
  Put32(out, static_cast<uint32_t>(value >> 32));
}
// The value itself, or the marker when it goes into the Zip64 field.
uint32_t Field32(uint64_t value, bool inZip64) {
  return inZip64 ? kMarker32 : static_cast<uint32_t>(value);
}

uint16_t NameFlags(const std::string& name) {
  const bool ascii = std::all_of(name.begin(), name.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return ascii ? 0 : kUtf8NameFlag;
}

}  // namespace

DosTime DosTimeOf(int year, int month, int day, int hour, int minute, int second) {
  DosTime dos;
  if (year < 1980 || year > 2107) return dos;
  dos.date = static_cast<uint16_t>((year - 1980) << 9 | month << 5 | day);
  dos.time = static_cast<uint16_t>(hour << 11 | minute << 5 | second / 2);
  return dos;
}

std::string LocalHeader(const Member& member, const DosTime& time) {
  const bool zip64 = member.localZip64;
  std::string out;
  Put32(out, kLocalHeaderSignature);
  Put16(out, zip64 ? kVersionZip64 : kVersionDeflate);
  Put16(out, NameFlags(member.name));
  Put16(out, member.method);
  Put16(out, time.time);
  Put16(out, time.date);
  Put32(out, member.crc32);
  Put32(out, Field32(member.compressedSize, zip64));
  Put32(out, Field32(member.size, zip64));
  Put16(out, static_cast<uint16_t>(member.name.size()));
  Put16(out, zip64 ? kExtraHeaderBytes + 16 : 0);
  out += member.name;
  if (zip64) {
    // In a local header the field holds both sizes, whatever their values.
    Put16(out, kZip64ExtraId);
    Put16(out, 16);
    Put64(out, member.size);
    Put64(out, member.compressedSize);
  }
  return out;
}

std::string CentralHeader(const Member& member, const DosTime& time, bool forceZip64) {
  // The sizes go where the local header put them: a reader (Info-ZIP's unzip) that finds them in
  // a local Zip64 field and not in the central one takes the two records for different files.
  const bool bigSize = forceZip64 || member.localZip64 || NeedsZip64(member.size);
  const bool bigCompressed = forceZip64 || member.localZip64 || NeedsZip64(member.compressedSize);
  const bool bigOffset = forceZip64 || NeedsZip64(member.headerOffset);
  std::string extra;
  if (bigSize) Put64(extra, member.size);
  if (bigCompressed) Put64(extra, member.compressedSize);
  if (bigOffset) Put64(extra, member.headerOffset);
  const bool zip64 = !extra.empty();
  std::string out;
  Put32(out, kCentralHeaderSignature);
  Put16(out, zip64 ? kVersionZip64 : kVersionDeflate);  // made by MS-DOS: attributes below
  Put16(out, zip64 ? kVersionZip64 : kVersionDeflate);
  Put16(out, NameFlags(member.name));
  Put16(out, member.method);
  Put16(out, time.time);
  Put16(out, time.date);
  Put32(out, member.crc32);
  Put32(out, Field32(member.compressedSize, bigCompressed));
  Put32(out, Field32(member.size, bigSize));
  Put16(out, static_cast<uint16_t>(member.name.size()));
  Put16(out, static_cast<uint16_t>(extra.empty() ? 0 : kExtraHeaderBytes + extra.size()));
  Put16(out, 0);      // comment
  Put16(out, 0);      // disk
  Put16(out, 0);      // internal attributes
  Put32(out, 0x20);   // external attributes: an MS-DOS file, "archive" set
  Put32(out, Field32(member.headerOffset, bigOffset));
  out += member.name;
  if (!extra.empty()) {
    Put16(out, kZip64ExtraId);
    Put16(out, static_cast<uint16_t>(extra.size()));
    out += extra;
  }
  return out;
}

std::string EndRecords(uint64_t members, uint64_t directoryOffset, uint64_t directorySize,
                       bool forceZip64) {
  const bool zip64 = forceZip64 || members >= kMarker16 || NeedsZip64(directoryOffset) ||
                     NeedsZip64(directorySize);
  std::string out;
  if (zip64) {
    const uint64_t zip64EndAt = directoryOffset + directorySize;
    Put32(out, kZip64EndSignature);
    Put64(out, kZip64EndBytes - 12);  // the record's size behind this field
    Put16(out, kVersionZip64);
    Put16(out, kVersionZip64);
    Put32(out, 0);
    Put32(out, 0);
    Put64(out, members);
    Put64(out, members);
    Put64(out, directorySize);
    Put64(out, directoryOffset);
    Put32(out, kZip64LocatorSignature);
    Put32(out, 0);
    Put64(out, zip64EndAt);
    Put32(out, 1);
  }
  const uint16_t count = zip64 ? kMarker16 : static_cast<uint16_t>(members);
  Put32(out, kEndSignature);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, count);
  Put16(out, count);
  Put32(out, Field32(directorySize, zip64));
  Put32(out, Field32(directoryOffset, zip64));
  Put16(out, 0);
  return out;
}

bool FileSink::Write(std::string_view bytes) {
  q9::platform::FileError failure;
  if (!q9::platform::WriteToFile(file_, bytes, &failure)) {
    if (error_.empty()) error_ = failure.text;
    return false;
  }
  end_ += bytes.size();
  return true;
}

bool FileSink::Patch(uint64_t offset, std::string_view bytes) {
  q9::platform::FileError failure;
  const bool done = q9::platform::SeekFile(file_, static_cast<int64_t>(offset), &failure) &&
                    q9::platform::WriteToFile(file_, bytes, &failure) &&
                    q9::platform::SeekFile(file_, static_cast<int64_t>(end_), &failure);
  if (!done && error_.empty()) error_ = failure.text;
  return done;
}

bool StringSink::Write(std::string_view more) {
  bytes += more;
  return true;
}

bool StringSink::Patch(uint64_t offset, std::string_view patch) {
  if (offset > bytes.size() || patch.size() > bytes.size() - offset) return false;
  bytes.replace(static_cast<size_t>(offset), patch.size(), patch);
  return true;
}

struct Writer::Zlib {
  z_stream stream{};
  bool ready = false;
  std::string out = std::string(kOutBlock, '\0');
  ~Zlib() {
    if (ready) deflateEnd(&stream);
  }
};

Writer::Writer(Sink& sink, WriterOptions options)
    : sink_(sink), options_(options), zlib_(std::make_unique<Zlib>()) {
  // Raw deflate (negative window bits): the ZIP records carry the CRC-32 and sizes.
  zlib_->ready = deflateInit2(&zlib_->stream, options_.level, Z_DEFLATED, -MAX_WBITS, 8,
                              Z_DEFAULT_STRATEGY) == Z_OK;
  if (!zlib_->ready) Fail("zlib could not start deflating");
}

Writer::~Writer() = default;

bool Writer::Fail(std::string reason) {
  if (!failed_) error_ = std::move(reason);
  failed_ = true;
  return false;
}

bool Writer::Emit(std::string_view bytes) {
  if (!sink_.Write(bytes)) return Fail("the archive could not be written");
  written_ += bytes.size();
  return true;
}

bool Writer::Begin(std::string name, uint64_t sizeBound) {
  if (failed_) return false;
  if (open_) return Fail("a member was begun before the one before it ended");
  if (name.empty() || name.size() > 0xFFFF) return Fail("member name of " + std::to_string(name.size()) + " bytes");
  current_ = Member{};
  current_.name = std::move(name);
  current_.headerOffset = written_;
  current_.localZip64 = options_.forceZip64 || sizeBound >= kLocalZip64From;
  current_.crc32 = static_cast<uint32_t>(crc32(0, nullptr, 0));
  if (deflateReset(&zlib_->stream) != Z_OK) return Fail("zlib could not start a member");
  const std::string header = LocalHeader(current_, options_.time);
  open_ = true;
  if (!Emit(header)) return false;
  current_.dataOffset = written_;
  return true;
}

bool Writer::Deflate(std::string_view bytes, bool finish) {
  z_stream& stream = zlib_->stream;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  int status;
  do {
    stream.next_out = reinterpret_cast<Bytef*>(zlib_->out.data());
    stream.avail_out = static_cast<uInt>(zlib_->out.size());
    status = deflate(&stream, finish ? Z_FINISH : Z_NO_FLUSH);
    if (status == Z_STREAM_ERROR) return Fail("zlib failed while deflating");
    const size_t made = zlib_->out.size() - stream.avail_out;
    if (made > 0 && !Emit(std::string_view(zlib_->out.data(), made))) return false;
  } while (stream.avail_out == 0 || (finish && status != Z_STREAM_END));
  return true;
}

bool Writer::Add(std::string_view bytes) {
  if (failed_) return false;
  if (!open_) return Fail("bytes added outside a member");
  while (!bytes.empty()) {
    const std::string_view piece = bytes.substr(0, kInPiece);
    current_.crc32 = static_cast<uint32_t>(
        crc32(current_.crc32, reinterpret_cast<const Bytef*>(piece.data()),
              static_cast<uInt>(piece.size())));
    current_.size += piece.size();
    if (!Deflate(piece, false)) return false;
    bytes.remove_prefix(piece.size());
  }
  return true;
}

bool Writer::End() {
  if (failed_) return false;
  if (!open_) return Fail("a member was ended that was not begun");
  open_ = false;
  if (current_.size == 0) {
    // Nothing to deflate: stored, with no data at all, as every reader expects of an empty file.
    current_.method = kStored;
  } else if (!Deflate({}, true)) {
    return false;
  }
  current_.compressedSize = written_ - current_.dataOffset;
  if (!current_.localZip64 && (NeedsZip64(current_.size) || NeedsZip64(current_.compressedSize))) {
    return Fail(current_.name + " holds more than its size bound of its start let its header say");
  }
  const std::string header = LocalHeader(current_, options_.time);
  if (!sink_.Patch(current_.headerOffset, header)) return Fail("the archive could not be written");
  members_.push_back(current_);
  return true;
}

bool Writer::Finish() {
  if (failed_) return false;
  if (open_) return Fail("the archive was finished inside a member");
  const uint64_t directoryAt = written_;
  for (const Member& member : members_) {
    if (!Emit(CentralHeader(member, options_.time, options_.forceZip64))) return false;
  }
  return Emit(EndRecords(members_.size(), directoryAt, written_ - directoryAt, options_.forceZip64));
}

bool ReadWrittenMember(std::FILE* file, const Member& member,
                       const std::function<void(std::string_view)>& take, std::string& error) {
  if (!q9::platform::SeekFile(file, static_cast<int64_t>(member.dataOffset))) {
    error = "cannot seek to " + member.name;
    return false;
  }
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
    error = "zlib could not start inflating";
    return false;
  }
  std::string in(kOutBlock, '\0');
  std::string out(kOutBlock, '\0');
  uint64_t left = member.compressedSize;
  uint64_t size = 0;
  uint32_t crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
  int status = member.method == kStored ? Z_STREAM_END : Z_OK;
  auto give = [&](const char* bytes, size_t count) {
    crc = static_cast<uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(bytes), static_cast<uInt>(count)));
    size += count;
    take(std::string_view(bytes, count));
  };
  while (left > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, in.size()));
    const size_t got = q9::platform::ReadFromFile(file, in.data(), want);
    if (got == 0) break;
    left -= got;
    if (member.method == kStored) {
      give(in.data(), got);
      continue;
    }
    stream.next_in = reinterpret_cast<Bytef*>(in.data());
    stream.avail_in = static_cast<uInt>(got);
    do {
      stream.next_out = reinterpret_cast<Bytef*>(out.data());
      stream.avail_out = static_cast<uInt>(out.size());
      status = inflate(&stream, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) break;
      give(out.data(), out.size() - stream.avail_out);
    } while (stream.avail_out == 0 && status != Z_STREAM_END);
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) break;
  }
  inflateEnd(&stream);
  if (left != 0 || status != Z_STREAM_END || size != member.size || crc != member.crc32) {
    error = member.name + " does not read back as written";
    return false;
  }
  return true;
}

}  // namespace q9x::zip
