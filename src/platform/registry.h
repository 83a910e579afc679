// The registry: opening keys in a chosen view, reading values as raw bytes, setting and
// deleting values, creating keys. win32/ is the real registry; posix/ is an in-memory
// tree (HKEY_LOCAL_MACHINE with separate 32-bit and 64-bit views, the other roots shared
// by both views as on 64-bit Windows) that the command-line tool and tests fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// An open key, or one of the predefined roots; null means "not open".
using RegKey = void*;

enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine };

// Access masks, with the values RegOpenKeyExW takes.
enum class RegAccess : std::uint32_t {
  Read = 0x20019,         // KEY_READ, the process's own view
  Read32 = 0x20219,       // KEY_READ | KEY_WOW64_32KEY
  Read64 = 0x20119,       // KEY_READ | KEY_WOW64_64KEY
  SetValue32 = 0x202,     // KEY_SET_VALUE | KEY_WOW64_32KEY
  SetValue64 = 0x102,     // KEY_SET_VALUE | KEY_WOW64_64KEY
  ReadWrite = 0x2001F,    // KEY_READ | KEY_WRITE, the process's own view
};

// Registry value types.
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;

// The predefined key of a root; it needs no closing.
RegKey regRootKey(RegRoot root);

// Opens `path` below `parent` (a root or an open key) with `access`; null on failure.
RegKey regOpenKey(RegKey parent, const std::wstring& path, RegAccess access);
// Creates or opens `path` below `parent` for reading and writing; null on failure.
RegKey regCreateKey(RegKey parent, const std::wstring& path);
void regCloseKey(RegKey key);

// Reads the value `name` (empty for the key's default value) as raw bytes, whatever its
// type. `size` is the capacity of `buffer` on entry and the value's size on return.
// False when the value does not exist or is larger than the buffer (`size` then tells
// the size needed).
bool regQueryValue(RegKey key, const std::wstring& name, void* buffer, std::size_t& size);
// Sets a value from raw bytes with the given type.
bool regSetValue(RegKey key, const std::wstring& name, std::uint32_t type, const void* data,
                 std::size_t size);
// Sets a value through the narrow-string interface (RegSetValueExA): the name and data are
// ANSI bytes, stored as given.
bool regSetValueA(RegKey key, const std::string& name, std::uint32_t type, const void* data,
                  std::size_t size);
bool regDeleteValue(RegKey key, const std::wstring& name);

#if !defined(_WIN32)
// ---- Filling the in-memory registry (command-line tool and tests) -----------------------
// Key paths are relative to the root, with backslashes; names compare without regard to
// case, as in the real registry. For roots other than HKEY_LOCAL_MACHINE the view is
// ignored (those roots look the same in both views).
enum class RegView { View32, View64 };

void regStandInReset();  // empties every key of every root and view
bool regStandInCreateKey(RegRoot root, RegView view, const std::wstring& path);
// Creates the key as needed and sets the value.
bool regStandInSetValue(RegRoot root, RegView view, const std::wstring& path,
                        const std::wstring& name, std::uint32_t type,
                        const std::vector<unsigned char>& data);
// A REG_SZ value: the text as UTF-16 little-endian with its terminating zero.
bool regStandInSetString(RegRoot root, RegView view, const std::wstring& path,
                         const std::wstring& name, const std::wstring& text);
// A REG_DWORD value: 4 bytes, little-endian.
bool regStandInSetDword(RegRoot root, RegView view, const std::wstring& path,
                        const std::wstring& name, std::uint32_t value);
bool regStandInDeleteValue(RegRoot root, RegView view, const std::wstring& path,
                           const std::wstring& name);
// Deletes the key with everything below it.
bool regStandInDeleteKey(RegRoot root, RegView view, const std::wstring& path);
// Reads a value back; false when the key or value is missing.
bool regStandInGetValue(RegRoot root, RegView view, const std::wstring& path,
                        const std::wstring& name, std::vector<unsigned char>& data,
                        std::uint32_t* type = nullptr);
// Makes opening the key for writing (set-value access or create) fail, as a key whose
// permissions deny it would; used to exercise failure paths. Creates the key as needed.
void regStandInDenyWrite(RegRoot root, RegView view, const std::wstring& path, bool deny);
#endif

}  // namespace platform
