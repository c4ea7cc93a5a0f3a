#include "common/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <unordered_set>

#include "base/platform.h"
#include "common/zip_archive.h"

namespace q9x::zip {

namespace {

constexpr size_t kBlock = size_t{1} << 16;
constexpr size_t kMostNameBytes = 1024;
constexpr size_t kMostComment = 0xFFFF;
// Deflate makes at most 1032 bytes of one compressed byte.
constexpr uint64_t kMostDeflateRatio = 1032;

// Flags: encrypted, strong encryption, a masked local header.
constexpr uint16_t kEncryptedFlags = 0x0001 | 0x0040 | 0x2000;
constexpr uint16_t kMadeByUnix = 3;
constexpr uint16_t kMadeByMac = 19;
constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixLink = 0120000;
constexpr uint32_t kDosReparsePoint = 0x400;

uint16_t Get16(const char* at) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(at);
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}
uint32_t Get32(const char* at) { return Get16(at) | uint32_t{Get16(at + 2)} << 16; }
uint64_t Get64(const char* at) { return Get32(at) | uint64_t{Get32(at + 4)} << 32; }

bool ValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size() || (length == 2 && lead < 0xC2)) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension.
bool DeviceName(std::string_view part) {
  const std::string stem = Lower(part.substr(0, part.find('.')));
  if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul") return true;
  return stem.size() == 4 && (stem.rfind("com", 0) == 0 || stem.rfind("lpt", 0) == 0) && stem[3] >= '1' &&
         stem[3] <= '9';
}

std::string Quoted(std::string_view name) {
  std::string shown;
  for (const char c : name.substr(0, 200)) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\') {
      static constexpr char kHex[] = "0123456789abcdef";
      shown += "\\x";
      shown += kHex[static_cast<unsigned char>(c) >> 4];
      shown += kHex[c & 0xF];
    } else {
      shown += c;
    }
  }
  return "\"" + shown + (name.size() > 200 ? "...\"" : "\"");
}

}  // namespace

FileSource::FileSource(std::FILE* file) : file_(file) {
  const int64_t length = q9::platform::FileLength(file);
  size_ = length > 0 ? static_cast<uint64_t>(length) : 0;
}

bool FileSource::ReadAt(uint64_t offset, char* into, size_t count) {
  if (offset > size_ || count > size_ - offset) return false;
  if (at_ != offset && !q9::platform::SeekFile(file_, static_cast<int64_t>(offset))) {
    at_ = UINT64_MAX;
    return false;
  }
  const size_t got = q9::platform::ReadFromFile(file_, into, count);
  at_ = got == count ? offset + count : UINT64_MAX;
  return got == count;
}

bool MemorySource::ReadAt(uint64_t offset, char* into, size_t count) {
  if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
  std::memcpy(into, bytes_.data() + offset, count);
  return true;
}

std::string UnsafeNameReason(std::string_view name) {
  if (name.empty()) return "an empty name";
  if (name.size() > kMostNameBytes) return "a name of more than " + std::to_string(kMostNameBytes) + " bytes";
  if (name.front() == '/') return "an absolute path";
  if (!ValidUtf8(name)) return "a name that is not UTF-8";
  std::string_view rest = name.back() == '/' ? name.substr(0, name.size() - 1) : name;
  for (;;) {
    const size_t end = rest.find('/');
    const std::string_view part = rest.substr(0, end);
    if (part.empty()) return "an empty part between two \"/\"";
    if (part == "." || part == "..") return "a \"" + std::string(part) + "\" part";
    for (const char c : part) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "a control character";
      if (c == '\\') return "a backslash (a folder separator on Windows)";
      if (c == ':') return "a drive or stream (\":\")";
      if (std::strchr("<>\"|?*", c) != nullptr) return "the character '" + std::string(1, c) + "'";
    }
    if (part.back() == '.' || part.back() == ' ') return "a part that ends in a dot or a space";
    if (DeviceName(part)) return "the device name \"" + std::string(part) + "\"";
    if (end == std::string_view::npos) return {};
    rest.remove_prefix(end + 1);
  }
}

bool Reader::Fail(std::string reason) {
  error_ = std::move(reason);
  entries_.clear();
  return false;
}

const Entry* Reader::Find(std::string_view name) const {
  for (const Entry& entry : entries_) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

bool Reader::Open(Source& source, const ReadLimits& limits) {
  source_ = &source;
  entries_.clear();
  error_.clear();
  const uint64_t size = source.size();
  if (size < kEndBytes) return Fail("not a ZIP archive: " + std::to_string(size) + " bytes");

  // The end record: the last one whose comment reaches the archive's end exactly.
  const size_t tailBytes = static_cast<size_t>(std::min<uint64_t>(size, kEndBytes + kMostComment));
  std::string tail(tailBytes, '\0');
  if (!source.ReadAt(size - tailBytes, tail.data(), tailBytes)) return Fail("the archive cannot be read");
  size_t endAt = std::string::npos;
  for (size_t at = tailBytes - kEndBytes + 1; at-- > 0;) {
    if (Get32(&tail[at]) == kEndSignature && at + kEndBytes + Get16(&tail[at + 20]) == tailBytes) {
      endAt = at;
      break;
    }
  }
  if (endAt == std::string::npos) return Fail("not a ZIP archive: no end record");
  const char* end = &tail[endAt];
  const uint64_t endOffset = size - tailBytes + endAt;
  if (Get16(end + 4) != 0 || Get16(end + 6) != 0 || Get16(end + 8) != Get16(end + 10)) {
    return Fail("an archive spread over several disks");
  }
  uint64_t count = Get16(end + 10);
  uint64_t directoryBytes = Get32(end + 12);
  uint64_t directoryAt = Get32(end + 16);
  uint64_t directoryEnd = endOffset;  // where the directory must end by: the first end record

  if (endOffset >= kZip64LocatorBytes) {
    std::array<char, kZip64LocatorBytes> locator{};
    const uint64_t locatorAt = endOffset - kZip64LocatorBytes;
    if (!source.ReadAt(locatorAt, locator.data(), locator.size())) return Fail("the archive cannot be read");
    if (Get32(locator.data()) == kZip64LocatorSignature) {
      const uint64_t zip64At = Get64(locator.data() + 8);
      if (Get32(locator.data() + 4) != 0 || Get32(locator.data() + 16) > 1) {
        return Fail("an archive spread over several disks");
      }
      std::array<char, kZip64EndBytes> record{};
      if (zip64At > locatorAt || locatorAt - zip64At < kZip64EndBytes ||
          !source.ReadAt(zip64At, record.data(), record.size()) || Get32(record.data()) != kZip64EndSignature) {
        return Fail("the Zip64 end record is not where its locator says (" + std::to_string(zip64At) + ")");
      }
      if (Get32(record.data() + 16) != 0 || Get32(record.data() + 20) != 0 ||
          Get64(record.data() + 24) != Get64(record.data() + 32)) {
        return Fail("an archive spread over several disks");
      }
      count = Get64(record.data() + 32);
      directoryBytes = Get64(record.data() + 40);
      directoryAt = Get64(record.data() + 48);
      directoryEnd = zip64At;
    }
  }
  if (directoryAt > directoryEnd || directoryBytes != directoryEnd - directoryAt) {
    return Fail("the directory (" + std::to_string(directoryBytes) + " bytes at " + std::to_string(directoryAt) +
                ") does not lie before the end record at " + std::to_string(directoryEnd));
  }
  if (count > directoryBytes / kCentralHeaderBytes) {
    return Fail("the directory claims " + std::to_string(count) + " members in " + std::to_string(directoryBytes) +
                " bytes");
  }
  if (count > limits.members) {
    return Fail(std::to_string(count) + " members, beyond the limit of " + std::to_string(limits.members));
  }
  return ReadDirectory(directoryAt, directoryBytes, count, limits) && CheckPlaces(directoryAt);
}

bool Reader::ReadDirectory(uint64_t at, uint64_t bytes, uint64_t count, const ReadLimits& limits) {
  // Bounded by the archive's own size, checked above.
  std::string directory(static_cast<size_t>(bytes), '\0');
  if (!source_->ReadAt(at, directory.data(), directory.size())) return Fail("the directory cannot be read");
  entries_.reserve(static_cast<size_t>(count));
  std::unordered_set<std::string> names;
  names.reserve(static_cast<size_t>(count));
  uint64_t total = 0;
  size_t next = 0;
  for (uint64_t index = 0; index < count; ++index) {
    const std::string place = "directory record " + std::to_string(index + 1);
    if (directory.size() - next < kCentralHeaderBytes || Get32(&directory[next]) != kCentralHeaderSignature) {
      return Fail(place + " is damaged (no record where it should start)");
    }
    const char* record = &directory[next];
    const size_t nameBytes = Get16(record + 28);
    const size_t extraBytes = Get16(record + 30);
    const size_t recordBytes = kCentralHeaderBytes + nameBytes + extraBytes + Get16(record + 32);
    if (directory.size() - next < recordBytes) return Fail(place + " runs past the directory");
    Entry entry;
    entry.name.assign(record + kCentralHeaderBytes, nameBytes);
    const std::string member = "member " + Quoted(entry.name);
    const uint16_t madeBy = Get16(record + 4) >> 8;
    const uint16_t flags = Get16(record + 8);
    const uint32_t attributes = Get32(record + 38);
    entry.method = Get16(record + 10);
    entry.crc32 = Get32(record + 16);
    entry.compressedSize = Get32(record + 20);
    entry.size = Get32(record + 24);
    entry.headerOffset = Get32(record + 42);
    uint32_t disk = Get16(record + 34);

    // The Zip64 field holds, in this order, each value whose own field holds the marker.
    const char* extra = record + kCentralHeaderBytes + nameBytes;
    const bool wantSize = entry.size == kMarker32, wantCompressed = entry.compressedSize == kMarker32;
    const bool wantOffset = entry.headerOffset == kMarker32, wantDisk = disk == kMarker16;
    bool zip64Found = false;
    for (size_t field = 0; field + kExtraHeaderBytes <= extraBytes;) {
      const uint16_t id = Get16(extra + field);
      const size_t fieldBytes = Get16(extra + field + 2);
      if (extraBytes - field - kExtraHeaderBytes < fieldBytes) return Fail(member + ": an extra field runs past its record");
      const char* value = extra + field + kExtraHeaderBytes;
      if (id == kZip64ExtraId && !zip64Found) {
        zip64Found = true;
        const size_t needed = 8 * (wantSize + wantCompressed + wantOffset) + 4 * wantDisk;
        if (fieldBytes < needed) return Fail(member + ": its Zip64 field is too short");
        if (wantSize) entry.size = Get64(value), value += 8;
        if (wantCompressed) entry.compressedSize = Get64(value), value += 8;
        if (wantOffset) entry.headerOffset = Get64(value), value += 8;
        if (wantDisk) disk = Get32(value);
      }
      field += kExtraHeaderBytes + fieldBytes;
    }
    if ((wantSize || wantCompressed || wantOffset || wantDisk) && !zip64Found) {
      return Fail(member + ": its sizes are in a Zip64 field it does not have");
    }

    if (!(flags & kUtf8NameFlag) &&
        std::any_of(entry.name.begin(), entry.name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
      return Fail(member + ": its name is not marked as UTF-8 (a code page's name)");
    }
    if (const std::string unsafe = UnsafeNameReason(entry.name); !unsafe.empty()) {
      return Fail(member + " is refused: " + unsafe);
    }
    if (!names.insert(Lower(entry.name)).second) {
      return Fail(member + " is refused: a second member of that name (Windows does not tell case apart)");
    }
    if ((madeBy == kMadeByUnix || madeBy == kMadeByMac) && ((attributes >> 16) & kUnixTypeMask) == kUnixLink) {
      return Fail(member + " is refused: a link");
    }
    if ((madeBy == 0 || madeBy == 10) && (attributes & kDosReparsePoint)) return Fail(member + " is refused: a link");
    if (flags & kEncryptedFlags) return Fail(member + " is refused: encrypted");
    if (disk != 0) return Fail("an archive spread over several disks");
    if (entry.method != kStored && entry.method != kDeflated) {
      return Fail(member + " is refused: compression method " + std::to_string(entry.method) +
                  " (only stored and deflated are read)");
    }
    if (entry.method == kStored && entry.size != entry.compressedSize) {
      return Fail(member + ": stored, but " + std::to_string(entry.size) + " bytes in " +
                  std::to_string(entry.compressedSize));
    }
    if (entry.folder() && entry.size != 0) return Fail(member + ": a folder that holds bytes");
    if (entry.method == kDeflated && entry.size / kMostDeflateRatio > entry.compressedSize) {
      return Fail(member + " claims " + std::to_string(entry.size) + " bytes of " +
                  std::to_string(entry.compressedSize) + " deflated: more than deflate can make");
    }
    if (entry.size > limits.memberBytes) {
      return Fail(member + " holds " + std::to_string(entry.size) + " bytes, beyond the limit of " +
                  std::to_string(limits.memberBytes) + " for one member");
    }
    total += entry.size;
    if (total > limits.totalBytes) {
      return Fail("the members hold more than the limit of " + std::to_string(limits.totalBytes) + " bytes (at " +
                  member + ")");
    }
    entries_.push_back(std::move(entry));
    next += recordBytes;
  }
  if (next != directory.size()) {
    return Fail("the directory holds " + std::to_string(directory.size() - next) + " bytes beyond its " +
                std::to_string(count) + " records");
  }
  return true;
}

bool Reader::CheckPlaces(uint64_t directoryAt) {
  std::vector<size_t> order(entries_.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(),
            [this](size_t a, size_t b) { return entries_[a].headerOffset < entries_[b].headerOffset; });
  std::array<char, kLocalHeaderBytes> local{};
  std::string name;
  for (size_t i = 0; i < order.size(); ++i) {
    Entry& entry = entries_[order[i]];
    const std::string member = "member " + Quoted(entry.name);
    const uint64_t limit = i + 1 < order.size() ? entries_[order[i + 1]].headerOffset : directoryAt;
    if (entry.headerOffset > limit || limit - entry.headerOffset < kLocalHeaderBytes ||
        !source_->ReadAt(entry.headerOffset, local.data(), local.size()) ||
        Get32(local.data()) != kLocalHeaderSignature) {
      return Fail(member + ": no local header at " + std::to_string(entry.headerOffset));
    }
    const size_t nameBytes = Get16(local.data() + 26);
    const uint64_t dataOffset = entry.headerOffset + kLocalHeaderBytes + nameBytes + Get16(local.data() + 28);
    name.resize(nameBytes);
    if (nameBytes != entry.name.size() || !source_->ReadAt(entry.headerOffset + kLocalHeaderBytes, name.data(), nameBytes) ||
        name != entry.name || Get16(local.data() + 8) != entry.method || (Get16(local.data() + 6) & kEncryptedFlags)) {
      return Fail(member + ": its local header does not match its directory record");
    }
    if (dataOffset > limit || limit - dataOffset < entry.compressedSize) {
      return Fail(member + ": its " + std::to_string(entry.compressedSize) + " bytes at " + std::to_string(dataOffset) +
                  " run past " + (i + 1 < order.size() ? "the next member" : "the directory"));
    }
    entry.dataOffset = dataOffset;
  }
  return true;
}

bool Reader::Extract(const Entry& entry, const std::function<bool(std::string_view)>& take) {
  error_.clear();
  const std::string member = "member " + Quoted(entry.name);
  std::string in(kBlock, '\0');
  std::string out(kBlock, '\0');
  uint32_t crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
  uint64_t made = 0;
  bool stopped = false;
  auto give = [&](const char* bytes, size_t count) {
    crc = static_cast<uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(bytes), static_cast<uInt>(count)));
    made += count;
    if (count > 0 && !take(std::string_view(bytes, count))) stopped = true;
    return !stopped;
  };

  z_stream stream{};
  const bool deflated = entry.method == kDeflated;
  if (deflated && inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
    error_ = member + ": zlib could not start inflating";
    return false;
  }
  int status = deflated ? Z_OK : Z_STREAM_END;
  bool damaged = false;
  uint64_t left = entry.compressedSize;
  uint64_t at = entry.dataOffset;
  while (left > 0 && !stopped && !damaged && (!deflated || status != Z_STREAM_END)) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, in.size()));
    if (!source_->ReadAt(at, in.data(), want)) {
      if (deflated) inflateEnd(&stream);
      error_ = member + " cannot be read at " + std::to_string(at);
      return false;
    }
    at += want;
    left -= want;
    if (!deflated) {
      give(in.data(), want);
      continue;
    }
    stream.next_in = reinterpret_cast<Bytef*>(in.data());
    stream.avail_in = static_cast<uInt>(want);
    do {
      stream.next_out = reinterpret_cast<Bytef*>(out.data());
      stream.avail_out = static_cast<uInt>(out.size());
      status = inflate(&stream, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
        damaged = true;
        break;
      }
      const size_t count = out.size() - stream.avail_out;
      if (made + count > entry.size) {
        damaged = true;
        break;
      }
      if (!give(out.data(), count)) break;
    } while (stream.avail_out == 0 && status != Z_STREAM_END);
  }
  if (deflated) inflateEnd(&stream);
  if (stopped) return false;
  if (damaged || status != Z_STREAM_END || made != entry.size) {
    error_ = member + " is damaged: it does not inflate to the " + std::to_string(entry.size) + " bytes its record says";
    return false;
  }
  if (crc != entry.crc32) {
    error_ = member + " is damaged: its CRC-32 differs from its record's";
    return false;
  }
  return true;
}

}  // namespace q9x::zip
