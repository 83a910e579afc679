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

// Appends two lower-case digits per byte.
void appendHex(std::string& out, std::string_view bytes);

}  // namespace platform
