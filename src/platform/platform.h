// The thin operating-system layer. Everything the core needs from the OS is a plain
// function here; win32/ implements it with the real API, posix/ with small stand-ins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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
// What the system said of the last write that failed in this process (such as "No space
// left on device"), or empty when it said nothing.
std::string lastWriteError();
// False when the system reports an error that was deferred to the close.
bool closeFile(FileHandle file);

// Writing behind: a block handed over is written while the caller goes on with its next
// one. At most one block is in flight; the caller leaves it untouched until the next call.
// Where the system offers no such writer, startWriteBehind returns nullptr and the caller
// writes with writeFile.
struct WriteBehind;
WriteBehind* startWriteBehind(FileHandle file);
// Waits for the block in flight, then starts writing this one. False when a write of the
// file has failed (nothing more is written then).
bool writeBehind(WriteBehind* writer, const void* data, std::size_t size);
// Waits for the block in flight; false when a write has failed.
bool waitWriteBehind(WriteBehind* writer);
// Waits, then releases the writer; false when a write has failed.
bool endWriteBehind(WriteBehind* writer);

// ---- A second thread -------------------------------------------------------------------
// Runs tasks one at a time, in the order given, beside the caller: work that can overlap
// the caller's next step (compressing one block while the next is made). Signals stay with
// the caller's thread. Where no thread can be started, startWorker returns nullptr and the
// caller does the work itself.
struct Worker;
Worker* startWorker();
// Waits for the task in flight, then starts this one.
void runOnWorker(Worker* worker, std::function<void()> task);
// Waits for the task in flight: what it did is then visible to the caller.
void waitWorker(Worker* worker);
// Waits, then stops and releases the worker.
void endWorker(Worker* worker);

// Hands the next createOutputFileA/W call `file` instead of opening its path, so that a
// caller that opened the output itself (a temporary file, standard output) decides where
// the converter writes; the converter then owns and closes it. Returns the handle of an
// earlier call that nothing took (kInvalidFile when there is none); the caller closes it.
// kInvalidFile restores normal opening. `flushedAtEnd` says that the caller flushes the
// file once it is written (before it replaces another): its writer then starts putting the
// data on the disk as it goes, so that the flush finds little left to do.
FileHandle setOutputOverride(FileHandle file, bool flushedAtEnd = false);

// Creates a new, empty file for writing; fails when the path already exists. Paths are
// UTF-8 on posix and in the ANSI code page on Windows. On failure `error` says why.
FileHandle createNewFile(const std::string& path, std::string& error);
// A second handle to the same open file.
FileHandle duplicateFile(FileHandle file);
// Forces written data to the disk; false when that fails (a full disk can show here).
bool flushFile(FileHandle file);
// Moves `from` over `to` (same folder) in one step: a reader sees the old or the new file,
// never a mixture.
bool replaceFile(const std::string& from, const std::string& to, std::string& error);
bool removeFile(const std::string& path);

// ---- Characters ------------------------------------------------------------------------
// The Unicode value of one byte in code page 1252; false when the byte has no mapping.
bool cp1252ToUnicode(unsigned char byte, std::uint32_t& codePoint);

}  // namespace platform
