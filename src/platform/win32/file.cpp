// Output files for Windows: CreateFile with the sharing and flags the export run uses.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

const FileHandle kInvalidFile = INVALID_HANDLE_VALUE;

namespace {

FileHandle pendingOverride = INVALID_HANDLE_VALUE;

// Takes the handle set by setOutputOverride, if any.
bool takeOverride(FileHandle& file) {
  if (pendingOverride == kInvalidFile) return false;
  file = pendingOverride;
  pendingOverride = kInvalidFile;
  return true;
}

std::string lastErrorText() {
  char text[256] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           GetLastError(), 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.')) text[--n] = 0;
  return n > 0 ? std::string(text, n) : "system error " + std::to_string(GetLastError());
}

}  // namespace

FileHandle setOutputOverride(FileHandle file, bool) {
  FileHandle previous = pendingOverride;
  pendingOverride = file;
  return previous;
}

FileHandle createOutputFileA(const char* path) {
  if (FileHandle file; takeOverride(file)) return file;
  if (!path || !*path) return kInvalidFile;
  return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

FileHandle createOutputFileW(const std::wstring& path) {
  if (FileHandle file; takeOverride(file)) return file;
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

// The command-line tool names the system's reason only on POSIX systems.
std::string lastWriteError() { return std::string(); }

bool closeFile(FileHandle file) {
  return file == kInvalidFile || CloseHandle(static_cast<HANDLE>(file)) != 0;
}

FileHandle createNewFile(const std::string& path, std::string& error) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) error = lastErrorText();
  return h;
}

FileHandle duplicateFile(FileHandle file) {
  HANDLE copy = INVALID_HANDLE_VALUE;
  if (file == kInvalidFile ||
      !DuplicateHandle(GetCurrentProcess(), static_cast<HANDLE>(file), GetCurrentProcess(), &copy,
                       0, FALSE, DUPLICATE_SAME_ACCESS))
    return kInvalidFile;
  return copy;
}

bool flushFile(FileHandle file) {
  if (file == kInvalidFile) return false;
  if (FlushFileBuffers(static_cast<HANDLE>(file))) return true;
  // Consoles and pipes cannot be flushed; nothing is lost by that.
  return GetFileType(static_cast<HANDLE>(file)) != FILE_TYPE_DISK;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& error) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  error = lastErrorText();
  return false;
}

bool removeFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

// The module starts no thread of its own on Windows: blocks are written as they come, and
// no worker is started (a caller given none does the work itself).
struct WriteBehind {};
WriteBehind* startWriteBehind(FileHandle) { return nullptr; }
bool writeBehind(WriteBehind*, const void*, std::size_t) { return false; }
bool waitWriteBehind(WriteBehind*) { return false; }
bool endWriteBehind(WriteBehind*) { return false; }

struct Worker {};
Worker* startWorker() { return nullptr; }
void runOnWorker(Worker*, std::function<void()> task) { task(); }  // not reached: no worker
void waitWorker(Worker*) {}
void endWorker(Worker*) {}

}  // namespace platform
