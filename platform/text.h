// Text: UTF-8 case folding, byte-safe cuts and the code page 437 of old ZIP names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Unicode simple upper-case mapping of every character, the same in every locale
// ("é" becomes "É"). Invalid UTF-8 bytes pass through unchanged.
std::string UpperCase(std::string_view utf8);
std::string LowerCase(std::string_view utf8);
// Name equality of the system: byte equality of the upper-cased texts.
bool SameText(std::string_view a, std::string_view b);

// The longest prefix of utf8 of at most maxBytes bytes that does not split a character.
std::string_view TruncateUtf8(std::string_view utf8, std::size_t maxBytes);

bool IsAscii(std::string_view text);
// Code page 437 bytes to UTF-8.
std::string Cp437ToUtf8(std::string_view cp437);

}  // namespace platform
