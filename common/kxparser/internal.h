// Shared between the parts of Kxparser; not part of the public interface.
#pragma once

#include <cstddef>
#include <string>

namespace kx {

// A string literal keeps its first 256 bytes; the buffer stores at most 255 of them (and a
// NUL). Field names in the buffer are limited to 255 bytes likewise. Cuts never split a
// UTF-8 character.
inline constexpr std::size_t MaxLiteralChars = 256;
inline constexpr std::size_t MaxConstChars = 255;
inline constexpr std::size_t MaxNameBytes = 255;

// The character of an "Invalid expression character" message: a byte that is not UTF-8
// text of its own is shown as its code ("#$FF") so that the message stays valid text.
std::string CharForMessage(unsigned char c);

}  // namespace kx
