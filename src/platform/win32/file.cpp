// Output files for Windows: CreateFile with the sharing and flags the export run uses.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

const FileHandle kInvalidFile = INVALID_HANDLE_VALUE;

FileHandle createOutputFileA(const char* path) {
  if (!path || !*path) return kInvalidFile;
  return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

FileHandle createOutputFileW(const std::wstring& path) {
  if (path.empty()) return kInvalidFile;
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

FileHandle standardOutput() {
  HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE copy = INVALID_HANDLE_VALUE;
  if (h == nullptr || h == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    return kInvalidFile;
  return copy;
}

bool writeFile(FileHandle file, const void* data, std::size_t size) {
  if (file == kInvalidFile) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(static_cast<HANDLE>(file), p, chunk, &written, nullptr) || written == 0)
      return false;
    p += written;
    size -= written;
  }
  return true;
}

void closeFile(FileHandle file) {
  if (file != kInvalidFile) CloseHandle(static_cast<HANDLE>(file));
}

}  // namespace platform
