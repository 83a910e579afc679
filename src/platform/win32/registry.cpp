// The registry through the Windows API.
#include <windows.h>

#include <climits>

#include "platform/registry.h"

namespace platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "registry names are UTF-16 on Windows");

RegKey regRootKey(RegRoot root) {
  switch (root) {
    case RegRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegRoot::LocalMachine: break;
  }
  return HKEY_LOCAL_MACHINE;
}

RegKey regOpenKey(RegKey parent, const std::wstring& path, RegAccess access) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(static_cast<HKEY>(parent), path.c_str(), 0,
                    static_cast<REGSAM>(access), &key) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

RegKey regCreateKey(RegKey parent, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(static_cast<HKEY>(parent), path.c_str(), 0, const_cast<LPWSTR>(L""),
                      REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

void regCloseKey(RegKey key) {
  if (key) RegCloseKey(static_cast<HKEY>(key));
}

bool regQueryValue(RegKey key, const std::wstring& name, void* buffer, std::size_t& size) {
  DWORD bytes = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(size);
  LONG result = RegQueryValueExW(static_cast<HKEY>(key), name.empty() ? nullptr : name.c_str(),
                                 nullptr, nullptr, static_cast<LPBYTE>(buffer), &bytes);
  size = bytes;
  return result == ERROR_SUCCESS;
}

bool regSetValue(RegKey key, const std::wstring& name, std::uint32_t type, const void* data,
                 std::size_t size) {
  if (size > 0xFFFFFFFFu) return false;
  return RegSetValueExW(static_cast<HKEY>(key), name.empty() ? nullptr : name.c_str(), 0, type,
                        static_cast<const BYTE*>(data), static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

bool regSetValueA(RegKey key, const std::string& name, std::uint32_t type, const void* data,
                  std::size_t size) {
  if (size > 0xFFFFFFFFu) return false;
  return RegSetValueExA(static_cast<HKEY>(key), name.empty() ? nullptr : name.c_str(), 0, type,
                        static_cast<const BYTE*>(data), static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

bool regDeleteValue(RegKey key, const std::wstring& name) {
  return RegDeleteValueW(static_cast<HKEY>(key), name.empty() ? nullptr : name.c_str()) ==
         ERROR_SUCCESS;
}

}  // namespace platform
