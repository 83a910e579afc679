// Global memory for posix: a table of heap blocks addressed by small opaque handles,
// with a lock count per block, so that code written for moveable memory runs unchanged.
#include "platform/platform.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {
namespace {

struct Block {
  void* data = nullptr;
  std::size_t size = 0;
  int locks = 0;
  bool used = false;
};

std::vector<Block>& table() {
  static std::vector<Block> blocks;
  return blocks;
}

// Handle n refers to table()[n - 1]; 0 is never a valid handle.
Block* find(MemHandle handle) {
  auto index = reinterpret_cast<std::uintptr_t>(handle);
  if (index == 0 || index > table().size()) return nullptr;
  Block& b = table()[index - 1];
  return b.used ? &b : nullptr;
}

}  // namespace

MemHandle memAlloc(std::size_t size) {
  void* data = std::calloc(size == 0 ? 1 : size, 1);
  if (!data) return nullptr;
  auto& blocks = table();
  std::size_t slot = 0;
  while (slot < blocks.size() && blocks[slot].used) ++slot;
  if (slot == blocks.size()) blocks.emplace_back();
  blocks[slot] = Block{data, size, 0, true};
  return reinterpret_cast<MemHandle>(static_cast<std::uintptr_t>(slot + 1));
}

MemHandle memRealloc(MemHandle handle, std::size_t size) {
  Block* b = find(handle);
  if (!b || b->locks > 0) return nullptr;  // a locked moveable block cannot move
  void* data = std::realloc(b->data, size == 0 ? 1 : size);
  if (!data) return nullptr;
  if (size > b->size) std::memset(static_cast<char*>(data) + b->size, 0, size - b->size);
  b->data = data;
  b->size = size;
  return handle;
}

void* memLock(MemHandle handle) {
  Block* b = find(handle);
  if (!b) return nullptr;
  ++b->locks;
  return b->data;
}

bool memUnlock(MemHandle handle) {
  Block* b = find(handle);
  if (!b || b->locks == 0) return false;
  --b->locks;
  return true;
}

std::size_t memSize(MemHandle handle) {
  Block* b = find(handle);
  return b ? b->size : 0;
}

void memFree(MemHandle handle) {
  Block* b = find(handle);
  if (!b) return;
  std::free(b->data);
  *b = Block{};
}

}  // namespace platform
