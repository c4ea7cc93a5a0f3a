// Text conversions shared by the log, the tools and the reference link library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace q9 {

// UTF-8 of a UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

// UTF-16 of a UTF-8 text. Each maximal subpart of an ill-formed sequence (the longest start of
// a well-formed sequence, or else a single byte) becomes one U+FFFD, and decoding goes on
// behind it.
std::u16string Utf16FromUtf8(std::string_view text);

// UTF-16 of a byte string, each byte becoming the code unit of the same value.
std::u16string Utf16FromBytes(std::string_view bytes);

// Plain ASCII to UTF-16, for the system's own fixed texts.
inline std::u16string Ascii16(std::string_view ascii) { return Utf16FromBytes(ascii); }

// The bytes as lower-case hex digits, two a byte.
std::string HexText(const unsigned char* bytes, size_t size);

// A whole number with its digits in groups of three, a space between them: "1 204", "100 000".
std::string GroupedNumber(uint64_t value);

}  // namespace q9
