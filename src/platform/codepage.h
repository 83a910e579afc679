// Code pages, character types and reading text files: what the settings and language-file
// code needs from the operating system. win32/ uses the real API (MultiByteToWideChar,
// GetACP, GetOEMCP, IsDBCSLeadByteEx, GetStringTypeW, CreateFileW/ReadFile); posix/
// converts with iconv and keeps the ANSI and OEM code pages as settable values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace platform {

// ---- Code pages ------------------------------------------------------------------------
// Well-known code page numbers.
constexpr std::uint32_t kCodePageUtf16Le = 1200;
constexpr std::uint32_t kCodePageUtf16Be = 1201;
constexpr std::uint32_t kCodePageUtf32Le = 12000;
constexpr std::uint32_t kCodePageUtf32Be = 12001;
constexpr std::uint32_t kCodePageUtf8 = 65001;

// The system's ANSI and OEM code pages. On posix they are 1252 and 437 until set.
std::uint32_t ansiCodePage();
std::uint32_t oemCodePage();

// Converts `size` bytes in `codePage` to UTF-16, like MultiByteToWideChar. With `strict`
// the conversion fails (returns 0) when any byte sequence is invalid or incomplete;
// without it, such sequences become the code page's substitute character (U+FFFD for
// UTF-8, "?" otherwise on posix). With `capacity` 0 nothing is written and the number of
// units needed is returned; otherwise at most `capacity` units are written to `out` and
// the number written is returned, or 0 when they do not fit. Returns 0 for an empty
// input and for a code page the system does not know.
std::size_t multiByteToUtf16(std::uint32_t codePage, bool strict, const unsigned char* bytes,
                             std::size_t size, char16_t* out, std::size_t capacity);

// True when `byte` is a lead byte of a double-byte character in `codePage`.
bool isDbcsLeadByte(std::uint32_t codePage, unsigned char byte);

// ---- Character types -------------------------------------------------------------------
// True when the UTF-16 unit has the space property of the system's character-type
// classification (GetStringTypeW, class 1): blank, tab, CR, LF, VT, FF and the Unicode
// spaces.
bool isSpaceUnit(char16_t unit);

// ---- Reading files ---------------------------------------------------------------------
// Opens an existing file for reading, sharing it for reading with others. Returns
// kInvalidFile on failure; close the handle with closeFile. On posix a backslash in the
// path is taken as a folder separator, so that Windows-style paths built by the settings
// code name the same files.
FileHandle openFileForReading(const std::wstring& path);
// Reads up to `capacity` bytes; `bytesRead` is 0 at the end of the file. False on a
// read error.
bool readFromFile(FileHandle file, void* buffer, std::size_t capacity, std::size_t& bytesRead);

#if !defined(_WIN32)
// ---- Posix stand-in configuration (the command-line tool and tests) ---------------------
void setAnsiCodePage(std::uint32_t codePage);
void setOemCodePage(std::uint32_t codePage);
#endif

}  // namespace platform
