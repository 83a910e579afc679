// Hexadecimal text: RTF carries object data as two hex digits per byte. Decoded once
// where an object is read, encoded once where one is written.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Decodes pairs of digits (either case) into bytes. A character that is not a hex digit
// counts as 0, and an odd trailing digit is dropped.
std::string decodeHex(std::string_view text);
// The same into `bytes`, which keeps its capacity from one use to the next.
void decodeHex(std::string_view text, std::string& bytes);

// Decodes lower-case digits from `text` (n characters) into `out` (room for n / 2 + 1
// bytes), passing over line breaks, up to the first character that is neither; returns the
// characters taken and sets `produced` to the bytes written. A digit waiting for its pair
// is kept in `pending` (-1: none) from one call to the next.
std::size_t decodeHexLines(const char* text, std::size_t n, char* out, int& pending, std::size_t& produced);

// Appends two lower-case digits per byte.
void appendHex(std::string& out, std::string_view bytes);

}  // namespace platform
