// Code pages, character types, the user's language and file input through the Windows API.
#include <windows.h>

#include <climits>

#include "platform/codepage.h"

namespace platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 units are wchar_t on Windows");

std::uint32_t ansiCodePage() { return GetACP(); }
std::uint32_t oemCodePage() { return GetOEMCP(); }

std::size_t multiByteToUtf16(std::uint32_t codePage, bool strict, const unsigned char* bytes,
                             std::size_t size, char16_t* out, std::size_t capacity) {
  if (!bytes || size == 0 || size > INT_MAX || (capacity > 0 && !out)) return 0;
  int units = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
  int result = MultiByteToWideChar(codePage, strict ? MB_ERR_INVALID_CHARS : 0,
                                   reinterpret_cast<LPCCH>(bytes), static_cast<int>(size),
                                   capacity > 0 ? reinterpret_cast<LPWSTR>(out) : nullptr, units);
  return result > 0 ? static_cast<std::size_t>(result) : 0;
}

bool isDbcsLeadByte(std::uint32_t codePage, unsigned char byte) {
  return IsDBCSLeadByteEx(codePage, byte) != FALSE;
}

bool isSpaceUnit(char16_t unit) {
  WORD type = 0;
  wchar_t w = static_cast<wchar_t>(unit);
  return GetStringTypeW(CT_CTYPE1, &w, 1, &type) && (type & C1_SPACE) != 0;
}


FileHandle openFileForReading(const std::wstring& path) {
  if (path.empty()) return kInvalidFile;
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool readFromFile(FileHandle file, void* buffer, std::size_t capacity, std::size_t& bytesRead) {
  bytesRead = 0;
  if (file == kInvalidFile || (capacity > 0 && !buffer)) return false;
  auto* p = static_cast<char*>(buffer);
  while (bytesRead < capacity) {
    std::size_t want = capacity - bytesRead;
    DWORD chunk = want > 0x40000000 ? 0x40000000 : static_cast<DWORD>(want);
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(file), p + bytesRead, chunk, &got, nullptr)) return false;
    if (got == 0) break;
    bytesRead += got;
  }
  return true;
}

}  // namespace platform
