// The thin operating-system layer. Everything the core needs from the OS is a plain
// function here; win32/ implements it with the real API, posix/ with small stand-ins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// ---- Global-memory handles -------------------------------------------------------------
// Moveable blocks, as the host's converter interface lends them. On Windows a handle is an
// HGLOBAL; on posix it is an entry of our own handle table.
using MemHandle = void*;

MemHandle memAlloc(std::size_t size);                      // moveable, zero-filled; null on failure
MemHandle memRealloc(MemHandle handle, std::size_t size);  // null on failure (handle stays valid)
void* memLock(MemHandle handle);                           // null on failure
bool memUnlock(MemHandle handle);
std::size_t memSize(MemHandle handle);                     // 0 for an invalid handle
void memFree(MemHandle handle);

// ---- The host's RTF callback -----------------------------------------------------------
// Called with an option word (1) and 0; returns the number of RTF bytes it placed at the
// start of the transfer buffer, or 0 or less when the document has been delivered.
#if defined(_WIN32)
using RtfCallback = std::int32_t(__stdcall*)(std::int32_t, std::int32_t);
#else
using RtfCallback = std::int32_t (*)(std::int32_t, std::int32_t);
#endif

// ---- Files -----------------------------------------------------------------------------
using FileHandle = void*;
extern const FileHandle kInvalidFile;

// Creates (or truncates) a file for sequential writing. The narrow form takes an ANSI
// path, the wide form a UTF-16 path.
FileHandle createOutputFileA(const char* path);
FileHandle createOutputFileW(const std::wstring& path);
// The process's standard output, for the command-line tool.
FileHandle standardOutput();
// Writes all bytes; false when the system reports an error or a short write.
bool writeFile(FileHandle file, const void* data, std::size_t size);
void closeFile(FileHandle file);

// ---- Characters ------------------------------------------------------------------------
// The Unicode value of one byte in code page 1252; false when the byte has no mapping.
bool cp1252ToUnicode(unsigned char byte, std::uint32_t& codePoint);

}  // namespace platform
