#pragma once
// Texts are 8-bit on both sides of the script interpreter, which keeps strings
// as UTF-8: every byte crosses as the character of the same number (0..255) and
// comes back as that byte, so any byte sequence (a binary response, a Latin-1
// script) survives the round trip.  A character above 255, which only the
// script can make, comes back as "?".  Pure functions, safe on any thread.
#include <string>
#include <string_view>

namespace velk {

// True when bytes needs no conversion (all below 0x80).
bool isAscii(std::string_view bytes);
// One UTF-8 character per byte.
std::string bytesToScriptText(std::string_view bytes);
// The interpreter's UTF-8 back to one byte per character.  Bytes that are no
// valid UTF-8 sequence are taken as they are.
std::string scriptTextToBytes(std::string_view text);

}  // namespace velk
