// Global memory for Windows: the real moveable global-memory API.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

MemHandle memAlloc(std::size_t size) { return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size); }

MemHandle memRealloc(MemHandle handle, std::size_t size) {
  return GlobalReAlloc(static_cast<HGLOBAL>(handle), size, GMEM_MOVEABLE | GMEM_ZEROINIT);
}

void* memLock(MemHandle handle) { return handle ? GlobalLock(static_cast<HGLOBAL>(handle)) : nullptr; }

bool memUnlock(MemHandle handle) {
  if (!handle) return false;
  return GlobalUnlock(static_cast<HGLOBAL>(handle)) != 0 || GetLastError() == NO_ERROR;
}

std::size_t memSize(MemHandle handle) { return handle ? GlobalSize(static_cast<HGLOBAL>(handle)) : 0; }

void memFree(MemHandle handle) {
  if (handle) GlobalFree(static_cast<HGLOBAL>(handle));
}

}  // namespace platform
