#pragma once
// URL encoding of values taken from a page: HTML character references are
// decoded first, then every byte outside the 65 safe characters (letters,
// digits, "-", ".", "_") is written as "%XX".
//
// Plain functions without state; safe from any thread.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/text_buffer.h"

namespace velk {

// Room a decoded and encoded value may take, its terminating NUL included: the
// value itself is at most kEncodedValueCapacity - 1 bytes.
inline constexpr size_t kEncodedValueCapacity = 8192;

bool isSafeUrlByte(unsigned char c);

// One character reference at the start of text ("&#65;", "&#x41;", "&amp;",
// "&quot;", "&apos;", "&lt;", "&gt;").  On success returns the number of bytes
// it spans (";" included) and sets codePoint; 0 when text does not begin with
// one, so that its "&" stands for itself.
size_t decodeCharacterReference(std::string_view text, uint32_t& codePoint);

// Decodes the character references in text and URL-encodes the result,
// appending at most capacity - 1 bytes to out.  Code points 0-255 are one byte;
// larger ones are written as their UTF-8 bytes (U+FFFD for those that are not
// characters).  An escape that would not fit whole is left out.
void appendDecodedAndEncoded(std::string_view text, TextBuffer& out,
                             size_t capacity = kEncodedValueCapacity);

}  // namespace velk
