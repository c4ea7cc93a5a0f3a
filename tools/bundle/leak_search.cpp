#include "bundle/leak_search.h"

#include <algorithm>

#include "bundle/member_filter.h"

namespace q9x::bundle {

namespace {

uint32_t Start4(const char* bytes) {
  return static_cast<uint32_t>(static_cast<unsigned char>(bytes[0])) |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[3])) << 24;
}

// A UTF-16LE unit that belongs to a word: a letter, a digit, "_", or beyond ASCII.
bool IsWordUnit(const char* bytes) {
  const unsigned unit = static_cast<unsigned char>(bytes[0]) | static_cast<unsigned char>(bytes[1]) << 8;
  if (unit >= 0x80) return true;
  return (unit >= '0' && unit <= '9') || (unit >= 'A' && unit <= 'Z') ||
         (unit >= 'a' && unit <= 'z') || unit == '_';
}

}  // namespace

LeakSearch::LeakSearch(const NameTable& names, bool container)
    : names_(names), container_(container) {
  if (!container_) return;
  // Every pattern has at least three UTF-16 units (a part of a path between separators).
  patterns_ = names_.Utf16Patterns();
  for (uint32_t i = 0; i < patterns_.size(); ++i) {
    const std::string& bytes = patterns_[i].bytes;
    byStart_[Start4(bytes.data())].push_back(i);
    firstTwo_[Start4(bytes.data()) & 0xFFFF] = true;
    longest_ = std::max(longest_, bytes.size());
  }
}

void LeakSearch::SearchUtf16(bool last) {
  // A position is searched once the pattern and the unit behind it have come, or at the end; the
  // unit before it is kept from the piece before.
  const size_t reach = longest_ + 2;
  const size_t limit = last ? pending_.size() : (pending_.size() > reach ? pending_.size() - reach : 0);
  const std::string_view bytes = pending_;
  for (size_t p = next_; p < limit && p + 4 <= bytes.size() && found_ < 0; ++p) {
    const uint32_t start = Start4(bytes.data() + p);
    if (!firstTwo_[start & 0xFFFF]) continue;
    const auto candidates = byStart_.find(start);
    if (candidates == byStart_.end()) continue;
    for (uint32_t i : candidates->second) {
      const std::string& pattern = patterns_[i].bytes;
      if (!bytes.substr(p).starts_with(pattern)) continue;
      const size_t end = p + pattern.size();
      const bool before = p < 2 || !IsWordUnit(bytes.data() + p - 2);
      const bool after = end + 2 > bytes.size() || !IsWordUnit(bytes.data() + end);
      if (!patterns_[i].word || (before && after)) {
        found_ = patterns_[i].name;
        break;
      }
    }
  }
  next_ = std::max(next_, limit);
  const size_t drop = next_ >= 2 ? next_ - 2 : 0;
  pending_.erase(0, drop);
  next_ -= drop;
}

void LeakSearch::SearchLines(bool last) {
  size_t start = 0;
  while (found_ < 0) {
    const size_t end = pending_.find('\n', start);
    if (end == std::string::npos) break;
    found_ = names_.FindInText(std::string_view(pending_).substr(start, end + 1 - start));
    start = end + 1;
  }
  pending_.erase(0, start);
  if (found_ < 0 && (last || pending_.size() > TextFilter::kLongestLine)) {
    found_ = names_.FindInText(pending_);
    pending_.clear();
  }
}

void LeakSearch::Feed(std::string_view bytes) {
  if (found_ >= 0) return;
  if (!container_) {
    pending_ += bytes;
    SearchLines(false);
    return;
  }
  if (patterns_.empty()) return;
  pending_ += bytes;
  SearchUtf16(false);
}

int64_t LeakSearch::Finish() {
  if (found_ >= 0) return found_;
  if (container_) {
    if (!patterns_.empty()) SearchUtf16(true);
  } else {
    SearchLines(true);
  }
  return found_;
}

}  // namespace q9x::bundle
