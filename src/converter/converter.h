// The entry points Word calls (its text-converter interface) and the module-wide state
// they share. The module exports them by ordinal from its .def file; the command-line
// tool and the tests call them directly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/module.h"
#include "platform/platform.h"
#include "platform/ui.h"
#include "rtf/document.h"

#if defined(_WIN32)
#define VLX_API __stdcall
#else
#define VLX_API
#endif

extern "C" {

// Load and unload notifications. Refuses a second attach.
std::int32_t VLX_API DllMain(void* instance, std::uint32_t reason, void* reserved);
// Registers the converter below the host's root key; 1 on success, 0 on failure.
std::int32_t VLX_API FRegisterConverter(void* rootKey);
// Fill the three handles with the class-name, description and extension lists.
void VLX_API GetReadNames(platform::MemHandle classes, platform::MemHandle descriptions,
                          platform::MemHandle extensions);
void VLX_API GetWriteNames(platform::MemHandle classes, platform::MemHandle descriptions,
                           platform::MemHandle extensions);
// Returns the capability block (17 bytes of global memory the host then owns).
platform::MemHandle VLX_API RegisterApp(std::uint32_t hostFlags, void* reserved);
// Prepares a conversion; 1 when ready, 0 when the installation is incomplete.
std::int32_t VLX_API InitConverter32(platform::WindowHandle hostWindow, char* moduleName);
void VLX_API UninitConverter();
std::int32_t VLX_API IsFormatCorrect32(platform::MemHandle fileName, platform::MemHandle className);
std::int32_t VLX_API ForeignToRtf32(platform::MemHandle fileName, void* foreignStorage,
                                    platform::MemHandle rtfBuffer, platform::MemHandle className,
                                    platform::MemHandle subset, platform::RtfCallback rtfCallback);
// One save: writes the converted document to the path in `fileName`.
std::int32_t VLX_API RtfToForeign32(platform::MemHandle fileName, void* foreignStorage,
                                    platform::MemHandle rtfBuffer, platform::MemHandle className,
                                    platform::RtfCallback rtfCallback);

}  // extern "C"

// DllMain reasons.
constexpr std::uint32_t kProcessDetach = 0;
constexpr std::uint32_t kProcessAttach = 1;

// Results of RtfToForeign32.
constexpr std::int32_t kRtfDone = 0;
constexpr std::int32_t kRtfForeignStorage = -5;
constexpr std::int32_t kRtfBadFileName = -8;
constexpr std::int32_t kRtfNoOutputFile = -13;

// The companion options module's dialog: module instance, host window, 0 when Shift or Ctrl
// was held at initialisation (1 otherwise), a 32-bit value set to 0 before the call, and a
// 64-byte buffer. 1, or 10 and above, abandons the export.
#if defined(_WIN32)
using ShowOptFunction = std::int32_t(__stdcall*)(void*, void*, std::int32_t, std::int32_t*, char*);
#else
using ShowOptFunction = std::int32_t (*)(void*, void*, std::int32_t, std::int32_t*, char*);
#endif

// Module-wide state.
struct ConverterModule {
  platform::ModuleHandle moduleInstance = nullptr;
  std::int32_t attached = 0;
  platform::WindowHandle hostWindow = nullptr;
  std::uint8_t modifierKeyHeld = 0;
  platform::ModuleHandle optionsModule = nullptr;
  ShowOptFunction showOptEntry = nullptr;
  std::uint32_t hostFlags = 0;
};

extern ConverterModule gConverter;

// Fixed texts shown by the module (not localised).
inline const std::wstring kMessageCaption = L"Korvane Math Utilities";
inline const std::wstring kNotInstalledMessage = L"Korvane Velotrix is not properly installed.";
inline const std::wstring kCannotSaveMessage =
    L"Unable to save the file. Try to use only Latin characters for file and folder names.";
inline const std::wstring kOptionsModuleName = L"Korvanevlx64.dll";

// Starts the Equation Editor 3.0 server from its registered local-server command, and
// closes every top-level window whose class names it, around an Equation 3.0 export.
void StartEquationServer(platform::WindowHandle window);
void CloseEquationEditorWindows();

// The process-wide records of the export runs: the output file of the run in progress,
// the objects replaced since InitConverter32 reset the count, and what the last run left
// unconverted (for the command line's report).
extern platform::FileHandle outputFile;
extern std::int32_t convertedCount;
extern std::vector<UnconvertedObject> lastRunUnconverted;
extern bool lastRunWriteFailed;  // a write to the output failed in the last run
// Every equation object of the last run, in document order, when the runs are asked to
// keep records (the command line's reports), and whether the records hold each
// equation's tree (its extraction).
extern std::vector<conversion::EquationRecord> lastRunRecords;
extern bool keepEquationRecords;
extern bool keepEquationTrees;
