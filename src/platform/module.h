// Modules, programs and other programs' windows: loading a library and resolving an
// export, the module's file name and string resources, starting a program, enumerating
// and closing top-level windows. win32/ calls the real API. posix/ has stand-ins: library
// modules are registered in-process under a path, string resources are a table, programs
// are recorded rather than started, and the top-level windows are a list tests fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace platform {

using ModuleHandle = void*;

// Loads a library by its full path; null on failure.
ModuleHandle loadLibrary(const std::wstring& path);
// The address of an export; null when the module has none of that name.
void* findExport(ModuleHandle module, const char* name);
// The module's full file name, at most `capacity` - 1 characters; false on failure.
bool moduleFileName(ModuleHandle module, std::size_t capacity, std::wstring& name);
// The full path of the running program.
std::wstring executablePath();
// Turns off thread attach and detach notifications for the module.
void disableThreadLibraryCalls(ModuleHandle module);
// Loads string resource `id` as narrow text into a buffer of `capacity` bytes (LoadStringA);
// the text, or empty when the resource cannot be loaded.
std::string loadStringResource(ModuleHandle module, std::uint32_t id, std::size_t capacity);
// Converts a wide path to the ANSI code page (what narrow-string interfaces see).
std::string wideToAnsi(const std::wstring& text);

// Runs a command line with the "open" verb (ShellExecuteW), its window hidden; false when
// it could not be started.
bool startProgramHidden(const std::wstring& command);

// The top-level windows, and their class names read as narrow text into a buffer of
// `capacity` bytes (GetClassNameA); false when the name cannot be read.
std::vector<WindowHandle> topLevelWindows();
bool windowClassNameA(WindowHandle window, std::size_t capacity, std::string& className);
void postMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                 std::intptr_t lParam);

// ---- Modules built into the program ----------------------------------------------------
// A program can offer a library of its own under a path: loadLibrary of that path (with
// either kind of slash, doubled separators allowed) returns it without touching the disk,
// and findExport resolves the names given here. The command-line tool uses this for its
// options module.
using ExportTable = std::map<std::string, void*>;
void registerBuiltInModule(const std::wstring& path, const ExportTable& exports);
void unregisterBuiltInModules();

#if !defined(_WIN32)
// ---- Posix stand-ins (the command-line tool and tests) ---------------------------------
// The module handle that stands for the program itself (the converter's own module).
ModuleHandle standInSelfModule();
void setStandInModuleFileName(const std::wstring& name);  // empty: the call fails
void setStandInStringResource(std::uint32_t id, const std::string& text);
void clearStandInStringResources();
// Programs "started" since the last reset, and whether starting succeeds.
std::vector<std::wstring> standInStartedPrograms();
void setStandInProgramStartFails(bool fails);
// Top-level windows of other programs: a class name (empty reads as a failure), and the
// messages posted to them.
WindowHandle addStandInTopLevelWindow(const std::string& className);
struct PostedMessage {
  WindowHandle window;
  std::uint32_t message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};
std::vector<PostedMessage> standInPostedMessages();
// Forgets started programs, top-level windows, posted messages and the failure switch.
void resetStandInPrograms();
#endif

}  // namespace platform
