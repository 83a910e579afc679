// Conversions between UTF-16 text (what files, the registry and Windows hold) and
// std::wstring (UTF-16 on Windows, UTF-32 on posix).
#pragma once

#include <string>

// Surrogate pairs become one character where wchar_t is 32 bits wide; a lone surrogate
// keeps its value.
std::wstring Utf16ToWide(const std::u16string& text);
// Characters above U+FFFF become surrogate pairs.
std::u16string WideToUtf16(const std::wstring& text);
