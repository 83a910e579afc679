// The registry for posix: an in-memory tree per root. HKEY_LOCAL_MACHINE has two trees,
// one per view, so that 32-bit and 64-bit values can differ as under WOW64 redirection;
// the other roots have one tree that both views share. Open keys are handles into a small
// table that remembers the key by its path, so a key deleted while open simply stops
// answering instead of leaving a dangling reference.
#include "platform/registry.h"
#include "platform/unicode.h"

#include <cstring>
#include <map>
#include <memory>

namespace platform {
namespace {

struct Value {
  std::uint32_t type = 0;
  std::vector<unsigned char> data;
};

struct Key {
  std::map<std::wstring, Value> values;                 // by folded name
  std::map<std::wstring, std::unique_ptr<Key>> subkeys;  // by folded name
  bool denyWrite = false;
};

enum Tree { kClassesRoot, kCurrentUser, kMachine32, kMachine64, kTreeCount };

Key& tree(Tree t) {
  static Key trees[kTreeCount];
  return trees[t];
}

struct OpenKey {
  bool used = false;
  RegRoot root = RegRoot::LocalMachine;
  bool view32 = false;
  std::vector<std::wstring> path;  // folded segments
  std::uint32_t access = 0;
};

std::vector<OpenKey>& handles() {
  static std::vector<OpenKey> table;
  return table;
}

constexpr std::uintptr_t kRootBase = 0x80000000u;  // the values Windows gives HKEY_CLASSES_ROOT...
constexpr std::uint32_t kQueryValue = 0x1;
constexpr std::uint32_t kWriteBits = 0x2 | 0x4 | 0x20 | 0x10000 | 0x40000 | 0x80000;
constexpr std::uint32_t kSetValueBit = 0x2;
constexpr std::uint32_t kView32Bit = 0x200;
constexpr std::uint32_t kView64Bit = 0x100;

std::wstring fold(const std::wstring& s) {
  std::wstring out = s;
  for (wchar_t& c : out)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return out;
}

std::vector<std::wstring> splitPath(const std::wstring& path) {
  std::vector<std::wstring> parts;
  std::wstring part;
  for (wchar_t c : path) {
    if (c == L'\\') {
      if (!part.empty()) parts.push_back(fold(part));
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(fold(part));
  return parts;
}

Tree treeOf(RegRoot root, bool view32) {
  switch (root) {
    case RegRoot::ClassesRoot: return kClassesRoot;
    case RegRoot::CurrentUser: return kCurrentUser;
    case RegRoot::LocalMachine: break;
  }
  return view32 ? kMachine32 : kMachine64;
}

Key* find(Tree t, const std::vector<std::wstring>& path) {
  Key* key = &tree(t);
  for (const auto& part : path) {
    auto it = key->subkeys.find(part);
    if (it == key->subkeys.end()) return nullptr;
    key = it->second.get();
  }
  return key;
}

Key* findOrCreate(Tree t, const std::vector<std::wstring>& path) {
  Key* key = &tree(t);
  for (const auto& part : path) {
    auto& slot = key->subkeys[part];
    if (!slot) slot = std::make_unique<Key>();
    key = slot.get();
  }
  return key;
}

// A write is refused when the key or any key above it denies writing.
bool writeDenied(Tree t, const std::vector<std::wstring>& path) {
  Key* key = &tree(t);
  if (key->denyWrite) return true;
  for (const auto& part : path) {
    auto it = key->subkeys.find(part);
    if (it == key->subkeys.end()) return false;
    key = it->second.get();
    if (key->denyWrite) return true;
  }
  return false;
}

OpenKey* handleOf(RegKey key) {
  auto index = reinterpret_cast<std::uintptr_t>(key);
  if (index == 0 || index > handles().size()) return nullptr;
  OpenKey& h = handles()[index - 1];
  return h.used ? &h : nullptr;
}

// The root, view and path a parent handle stands for; false for an invalid handle.
bool resolveParent(RegKey parent, RegRoot& root, bool& view32, std::vector<std::wstring>& path) {
  auto value = reinterpret_cast<std::uintptr_t>(parent);
  if (value >= kRootBase && value <= kRootBase + 2) {
    root = value == kRootBase       ? RegRoot::ClassesRoot
           : value == kRootBase + 1 ? RegRoot::CurrentUser
                                    : RegRoot::LocalMachine;
    view32 = false;  // a 64-bit process sees the 64-bit view by default
    path.clear();
    return true;
  }
  OpenKey* h = handleOf(parent);
  if (!h) return false;
  root = h->root;
  view32 = h->view32;
  path = h->path;
  return true;
}

RegKey newHandle(RegRoot root, bool view32, std::vector<std::wstring> path, std::uint32_t access) {
  auto& table = handles();
  std::size_t slot = 0;
  while (slot < table.size() && table[slot].used) ++slot;
  if (slot == table.size()) table.emplace_back();
  table[slot] = OpenKey{true, root, view32, std::move(path), access};
  return reinterpret_cast<RegKey>(static_cast<std::uintptr_t>(slot + 1));
}

// Resolves an open handle to its key, checking that it was opened with `needed` access.
Key* keyFor(RegKey handle, std::uint32_t needed, Tree* treeOut = nullptr) {
  OpenKey* h = handleOf(handle);
  if (!h || (h->access & needed) != needed) return nullptr;
  Tree t = treeOf(h->root, h->view32);
  if (treeOut) *treeOut = t;
  return find(t, h->path);
}

}  // namespace

RegKey regRootKey(RegRoot root) {
  std::uintptr_t offset = root == RegRoot::ClassesRoot ? 0 : root == RegRoot::CurrentUser ? 1 : 2;
  return reinterpret_cast<RegKey>(kRootBase + offset);
}

RegKey regOpenKey(RegKey parent, const std::wstring& path, RegAccess access) {
  RegRoot root;
  bool view32;
  std::vector<std::wstring> full;
  if (!resolveParent(parent, root, view32, full)) return nullptr;
  auto mask = static_cast<std::uint32_t>(access);
  if (mask & kView32Bit) view32 = true;
  if (mask & kView64Bit) view32 = false;
  for (auto& part : splitPath(path)) full.push_back(std::move(part));
  Tree t = treeOf(root, view32);
  if (!find(t, full)) return nullptr;
  if ((mask & kWriteBits) && writeDenied(t, full)) return nullptr;
  return newHandle(root, view32, std::move(full), mask);
}

RegKey regCreateKey(RegKey parent, const std::wstring& path) {
  RegRoot root;
  bool view32;
  std::vector<std::wstring> full;
  if (!resolveParent(parent, root, view32, full)) return nullptr;
  for (auto& part : splitPath(path)) full.push_back(std::move(part));
  Tree t = treeOf(root, view32);
  if (writeDenied(t, full)) return nullptr;
  findOrCreate(t, full);
  return newHandle(root, view32, std::move(full), static_cast<std::uint32_t>(RegAccess::ReadWrite));
}

void regCloseKey(RegKey key) {
  if (OpenKey* h = handleOf(key)) *h = OpenKey{};
}

bool regQueryValue(RegKey handle, const std::wstring& name, void* buffer, std::size_t& size) {
  Key* key = keyFor(handle, kQueryValue);
  if (!key) return false;
  auto it = key->values.find(fold(name));
  if (it == key->values.end()) return false;
  const auto& data = it->second.data;
  std::size_t capacity = size;
  size = data.size();
  if (data.size() > capacity) return false;
  if (!data.empty()) {
    if (!buffer) return false;
    std::memcpy(buffer, data.data(), data.size());
  }
  return true;
}

bool regSetValue(RegKey handle, const std::wstring& name, std::uint32_t type, const void* data,
                 std::size_t size) {
  Key* key = keyFor(handle, kSetValueBit);
  if (!key || (size > 0 && !data)) return false;
  Value& v = key->values[fold(name)];
  v.type = type;
  const auto* p = static_cast<const unsigned char*>(data);
  v.data.assign(p, p + size);
  return true;
}

bool regSetValueA(RegKey handle, const std::string& name, std::uint32_t type, const void* data,
                  std::size_t size) {
  // Names are ANSI bytes; the stand-in keeps them byte for byte as wide characters.
  std::wstring wide;
  for (unsigned char c : name) wide += static_cast<wchar_t>(c);
  return regSetValue(handle, wide, type, data, size);
}

bool regDeleteValue(RegKey handle, const std::wstring& name) {
  Key* key = keyFor(handle, kSetValueBit);
  if (!key) return false;
  return key->values.erase(fold(name)) > 0;
}

void regStandInReset() {
  for (int t = 0; t < kTreeCount; ++t) tree(static_cast<Tree>(t)) = Key{};
  handles().clear();
}

bool regStandInCreateKey(RegRoot root, RegView view, const std::wstring& path) {
  findOrCreate(treeOf(root, view == RegView::View32), splitPath(path));
  return true;
}

bool regStandInSetValue(RegRoot root, RegView view, const std::wstring& path,
                        const std::wstring& name, std::uint32_t type,
                        const std::vector<unsigned char>& data) {
  Key* key = findOrCreate(treeOf(root, view == RegView::View32), splitPath(path));
  key->values[fold(name)] = Value{type, data};
  return true;
}

bool regStandInSetString(RegRoot root, RegView view, const std::wstring& path,
                         const std::wstring& name, const std::wstring& text) {
  const std::vector<unsigned char> data = registryStringBytes(text);
  return regStandInSetValue(root, view, path, name, kRegSz, data);
}

bool regStandInSetDword(RegRoot root, RegView view, const std::wstring& path,
                        const std::wstring& name, std::uint32_t value) {
  std::vector<unsigned char> data{static_cast<unsigned char>(value & 0xFF),
                                  static_cast<unsigned char>((value >> 8) & 0xFF),
                                  static_cast<unsigned char>((value >> 16) & 0xFF),
                                  static_cast<unsigned char>((value >> 24) & 0xFF)};
  return regStandInSetValue(root, view, path, name, kRegDword, data);
}

bool regStandInDeleteValue(RegRoot root, RegView view, const std::wstring& path,
                           const std::wstring& name) {
  Key* key = find(treeOf(root, view == RegView::View32), splitPath(path));
  return key && key->values.erase(fold(name)) > 0;
}

bool regStandInDeleteKey(RegRoot root, RegView view, const std::wstring& path) {
  auto parts = splitPath(path);
  if (parts.empty()) return false;
  std::wstring last = parts.back();
  parts.pop_back();
  Key* parent = find(treeOf(root, view == RegView::View32), parts);
  return parent && parent->subkeys.erase(last) > 0;
}

bool regStandInGetValue(RegRoot root, RegView view, const std::wstring& path,
                        const std::wstring& name, std::vector<unsigned char>& data,
                        std::uint32_t* type) {
  Key* key = find(treeOf(root, view == RegView::View32), splitPath(path));
  if (!key) return false;
  auto it = key->values.find(fold(name));
  if (it == key->values.end()) return false;
  data = it->second.data;
  if (type) *type = it->second.type;
  return true;
}

void regStandInDenyWrite(RegRoot root, RegView view, const std::wstring& path, bool deny) {
  findOrCreate(treeOf(root, view == RegView::View32), splitPath(path))->denyWrite = deny;
}

}  // namespace platform
