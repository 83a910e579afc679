// Module and program stand-ins for posix. Libraries are the modules the program registers
// in-process; the converter's own module is the program itself, with a settable file name
// and a table of string resources; programs are recorded instead of started; other
// programs' top-level windows are a list that tests fill.
#include "platform/module.h"

#include <climits>
#include <memory>
#include <unistd.h>

namespace platform {
namespace {

struct BuiltInModule {
  std::wstring path;  // normalised
  ExportTable exports;
};

struct ModuleState {
  std::vector<std::unique_ptr<BuiltInModule>> modules;  // stable addresses serve as handles
  std::wstring selfFileName = L"/usr/lib/velotrix/Korvanevlx.cnv";
  std::map<std::uint32_t, std::string> strings;
  std::vector<std::wstring> started;
  bool startFails = false;
  std::vector<std::pair<WindowHandle, std::string>> topLevel;
  std::vector<PostedMessage> posted;
  std::uintptr_t nextWindow = 0x900000;
};

ModuleState& state() {
  static ModuleState s;
  return s;
}

int selfModuleTag;

// Both slashes separate folders and doubled separators count once, so that a folder
// that ends in a separator and one that does not name the same file.
std::wstring normalisePath(const std::wstring& path) {
  std::wstring out;
  for (wchar_t c : path) {
    if (c == L'\\') c = L'/';
    if (c == L'/' && !out.empty() && out.back() == L'/') continue;
    out += c;
  }
  return out;
}

BuiltInModule* builtIn(ModuleHandle module) {
  for (const auto& m : state().modules)
    if (m.get() == module) return m.get();
  return nullptr;
}

}  // namespace

ModuleHandle loadLibrary(const std::wstring& path) {
  std::wstring wanted = normalisePath(path);
  for (const auto& m : state().modules)
    if (m->path == wanted) return m.get();
  return nullptr;
}

void* findExport(ModuleHandle module, const char* name) {
  BuiltInModule* m = builtIn(module);
  if (!m || !name) return nullptr;
  auto it = m->exports.find(name);
  return it == m->exports.end() ? nullptr : it->second;
}

bool moduleFileName(ModuleHandle module, std::size_t capacity, std::wstring& name) {
  name.clear();
  if (module != standInSelfModule() || state().selfFileName.empty() || capacity == 0) return false;
  // As GetModuleFileNameW: a name that does not fit is cut and reported as a failure.
  if (state().selfFileName.size() >= capacity) return false;
  name = state().selfFileName;
  return true;
}

std::wstring executablePath() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return L"";
  std::wstring out;
  // The bytes of the path, UTF-8 on posix, decoded leniently.
  for (ssize_t i = 0; i < n;) {
    auto b = static_cast<unsigned char>(buffer[i]);
    std::uint32_t c = b;
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (extra && i + extra < n) {
      c = b & (0x3F >> extra);
      for (int k = 1; k <= extra; ++k) c = (c << 6) | (static_cast<unsigned char>(buffer[i + k]) & 0x3F);
      i += extra + 1;
    } else {
      ++i;
    }
    out += static_cast<wchar_t>(c);
  }
  return out;
}

void disableThreadLibraryCalls(ModuleHandle) {}

std::string loadStringResource(ModuleHandle module, std::uint32_t id, std::size_t capacity) {
  if (module != standInSelfModule() || capacity == 0) return "";
  auto it = state().strings.find(id);
  if (it == state().strings.end()) return "";
  return it->second.substr(0, capacity - 1);
}

std::string wideToAnsi(const std::wstring& text) {
  // Code page 1252 stand-in: Latin-1 passes, everything else becomes "?".
  std::string out;
  for (wchar_t c : text) out += static_cast<std::uint32_t>(c) < 0x100 ? static_cast<char>(c) : '?';
  return out;
}

bool startProgramHidden(const std::wstring& command) {
  if (state().startFails) return false;
  state().started.push_back(command);
  return true;
}

std::vector<WindowHandle> topLevelWindows() {
  std::vector<WindowHandle> out;
  for (const auto& w : state().topLevel) out.push_back(w.first);
  return out;
}

bool windowClassNameA(WindowHandle window, std::size_t capacity, std::string& className) {
  className.clear();
  if (capacity == 0) return false;
  for (const auto& w : state().topLevel)
    if (w.first == window) {
      if (w.second.empty()) return false;
      className = w.second.substr(0, capacity - 1);
      return true;
    }
  return false;
}

void postMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                 std::intptr_t lParam) {
  state().posted.push_back(PostedMessage{window, message, wParam, lParam});
}

void registerBuiltInModule(const std::wstring& path, const ExportTable& exports) {
  std::wstring normal = normalisePath(path);
  for (const auto& m : state().modules)
    if (m->path == normal) {
      m->exports = exports;
      return;
    }
  state().modules.push_back(std::make_unique<BuiltInModule>(BuiltInModule{normal, exports}));
}

void unregisterBuiltInModules() {
  // Handles given out earlier stay valid pointers: the entries are only emptied.
  for (const auto& m : state().modules) {
    m->path.clear();
    m->exports.clear();
  }
}

ModuleHandle standInSelfModule() { return &selfModuleTag; }
void setStandInModuleFileName(const std::wstring& name) { state().selfFileName = name; }
void setStandInStringResource(std::uint32_t id, const std::string& text) { state().strings[id] = text; }
void clearStandInStringResources() { state().strings.clear(); }
std::vector<std::wstring> standInStartedPrograms() { return state().started; }
void setStandInProgramStartFails(bool fails) { state().startFails = fails; }

WindowHandle addStandInTopLevelWindow(const std::string& className) {
  auto handle = reinterpret_cast<WindowHandle>(state().nextWindow += 0x10);
  state().topLevel.emplace_back(handle, className);
  return handle;
}

std::vector<PostedMessage> standInPostedMessages() { return state().posted; }

void resetStandInPrograms() {
  state().started.clear();
  state().startFails = false;
  state().topLevel.clear();
  state().posted.clear();
}

}  // namespace platform
