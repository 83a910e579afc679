// Text encodings shared by the places that hand text to byte-oriented interfaces: UTF-8
// for posix paths, the terminal and compound-file entry names; UTF-16 bytes for registry
// string values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Appends one code point as UTF-8; surrogate values are encoded as they stand.
void appendUtf8(std::string& out, std::uint32_t codePoint);
// UTF-16 units as UTF-8: surrogate pairs become one code point, lone ones stay.
std::string utf16ToUtf8(std::u16string_view units);
// Wide text (UTF-16 where wchar_t has 16 bits, UTF-32 elsewhere) as UTF-8.
std::string wideToUtf8(std::wstring_view text);
// Wide text as a registry string value: UTF-16 little-endian with its terminating zero;
// characters above U+FFFF become surrogate pairs.
std::vector<unsigned char> registryStringBytes(std::wstring_view text);

}  // namespace platform
