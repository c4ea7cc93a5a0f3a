#include "bundle/member_filter.h"

#include <algorithm>

namespace q9x::bundle {

void SiteFilter::Feed(std::string_view in, std::string& out) {
  const size_t start = out.size();
  out += in;
  const uint64_t end = position_ + in.size();
  const uint64_t unitBytes = sites_.utf16 ? 2 : 1;
  for (size_t i = next_; i < sites_.sites.size(); ++i) {
    const Site& site = sites_.sites[i];
    if (site.offset >= end) break;
    const std::u16string& token = names_[site.name].token;
    const uint64_t siteEnd = site.offset + token.size() * unitBytes;
    // Each byte of the token that falls into this piece.
    for (uint64_t at = std::max(site.offset, position_); at < std::min(siteEnd, end); ++at) {
      const uint64_t byte = at - site.offset;
      const char16_t unit = token[static_cast<size_t>(byte / unitBytes)];
      const char value = static_cast<char>(byte % unitBytes == 0 ? unit & 0xFF : unit >> 8);
      out[start + static_cast<size_t>(at - position_)] = value;
    }
    if (siteEnd <= end && i == next_) ++next_;
  }
  position_ = end;
}

void TextFilter::Flush(size_t bytes, std::string& out) {
  // Line by line from the start, then one erase: a piece of many lines is moved once.
  size_t start = 0;
  while (start < bytes) {
    const size_t lineEnd = pending_.find('\n', start);
    const size_t end = std::min(bytes, lineEnd == std::string::npos ? bytes : lineEnd + 1);
    std::string line = pending_.substr(start, end - start);
    names_.ScrubText(line);
    out += line;
    start = end;
  }
  pending_.erase(0, bytes);
}

void TextFilter::Feed(std::string_view in, std::string& out) {
  pending_ += in;
  const size_t lastLineEnd = pending_.rfind('\n');
  if (lastLineEnd != std::string::npos) Flush(lastLineEnd + 1, out);
  if (pending_.size() > kLongestLine) Flush(pending_.size(), out);
}

void TextFilter::Finish(std::string& out) { Flush(pending_.size(), out); }

}  // namespace q9x::bundle
