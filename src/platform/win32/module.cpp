// Modules, programs and top-level windows through the Windows API. A program may also
// register modules of its own (the command-line tool's options module); loadLibrary finds
// those first and goes to LoadLibraryW for everything else.
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "platform/module.h"

namespace platform {
namespace {

struct BuiltInModule {
  std::wstring path;  // normalised
  ExportTable exports;
};

std::vector<BuiltInModule*>& builtInModules() {
  static std::vector<BuiltInModule*> modules;
  return modules;
}

std::wstring normalisePath(const std::wstring& path) {
  std::wstring out;
  for (wchar_t c : path) {
    if (c == L'/') c = L'\\';
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c == L'\\' && !out.empty() && out.back() == L'\\') continue;
    out += c;
  }
  return out;
}

BuiltInModule* builtIn(ModuleHandle module) {
  for (BuiltInModule* m : builtInModules())
    if (m == module) return m;
  return nullptr;
}

BOOL CALLBACK collectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<WindowHandle>*>(list)->push_back(window);
  return TRUE;
}

}  // namespace

ModuleHandle loadLibrary(const std::wstring& path) {
  std::wstring wanted = normalisePath(path);
  for (BuiltInModule* m : builtInModules())
    if (!m->path.empty() && m->path == wanted) return m;
  return LoadLibraryW(path.c_str());
}

void* findExport(ModuleHandle module, const char* name) {
  if (!module || !name) return nullptr;
  if (BuiltInModule* m = builtIn(module)) {
    auto it = m->exports.find(name);
    return it == m->exports.end() ? nullptr : it->second;
  }
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool moduleFileName(ModuleHandle module, std::size_t capacity, std::wstring& name) {
  name.clear();
  if (capacity == 0 || capacity > 0x7FFF) return false;
  std::wstring buffer(capacity, L'\0');
  DWORD n = GetModuleFileNameW(static_cast<HMODULE>(module), buffer.data(),
                               static_cast<DWORD>(capacity));
  if (n == 0 || n >= capacity) return false;  // failed, or cut to fit
  buffer.resize(n);
  name = buffer;
  return true;
}

std::wstring executablePath() {
  std::wstring name;
  return moduleFileName(nullptr, 32768, name) ? name : std::wstring();
}

void disableThreadLibraryCalls(ModuleHandle module) {
  DisableThreadLibraryCalls(static_cast<HMODULE>(module));
}

std::string loadStringResource(ModuleHandle module, std::uint32_t id, std::size_t capacity) {
  if (capacity == 0 || capacity > 0x7FFF) return "";
  std::string buffer(capacity, '\0');
  int n = LoadStringA(static_cast<HINSTANCE>(module), id, buffer.data(), static_cast<int>(capacity));
  if (n <= 0) return "";
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

std::string wideToAnsi(const std::wstring& text) {
  if (text.empty()) return "";
  int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  if (n <= 0) return "";
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

bool startProgramHidden(const std::wstring& command) {
  HINSTANCE result = ShellExecuteW(nullptr, L"open", command.c_str(), nullptr, nullptr, SW_HIDE);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

std::vector<WindowHandle> topLevelWindows() {
  std::vector<WindowHandle> windows;
  EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

bool windowClassNameA(WindowHandle window, std::size_t capacity, std::string& className) {
  className.clear();
  if (capacity == 0 || capacity > 256) return false;
  char buffer[256] = {0};
  int n = GetClassNameA(static_cast<HWND>(window), buffer, static_cast<int>(capacity));
  if (n <= 0) return false;
  className.assign(buffer, static_cast<std::size_t>(n));
  return true;
}

void postMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                 std::intptr_t lParam) {
  PostMessageW(static_cast<HWND>(window), message, wParam, lParam);
}

void registerBuiltInModule(const std::wstring& path, const ExportTable& exports) {
  std::wstring normal = normalisePath(path);
  for (BuiltInModule* m : builtInModules())
    if (m->path == normal) {
      m->exports = exports;
      return;
    }
  builtInModules().push_back(new BuiltInModule{normal, exports});
}

void unregisterBuiltInModules() {
  for (BuiltInModule* m : builtInModules()) {
    m->path.clear();
    m->exports.clear();
  }
}

}  // namespace platform
