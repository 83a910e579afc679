// Registration and initialisation: every entry point except the export run.
#include <cstring>
#include <string>

#include "converter/converter.h"
#include "converter/resources.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "settings/settings_store.h"
#include "platform/registry.h"

ConverterModule gConverter;

namespace {

// The format lists as text; entries would be separated by zero bytes. The import side
// offers nothing.
const char kImportClasses[] = "";
const char kImportExtensions[] = "";
const char kExportClasses[] = "Korvanevlx";
const char kExportExtensions[] = "rtf";

// The list as the host takes it: the entries, a zero byte after the last one, and one
// more zero byte ending the list (so an empty list is two zero bytes).
std::string listOf(std::string entries) {
  entries.push_back('\0');
  entries.push_back('\0');
  return entries;
}

// The descriptions of one side: the string resource, whose texts are separated by 0x01.
// A resource that cannot be loaded gives an empty list.
std::string descriptionList(std::uint32_t resourceId) {
  std::string text = platform::loadStringResource(gConverter.moduleInstance, resourceId, 256);
  for (char& c : text)
    if (c == '\x01') c = '\0';
  return listOf(text);
}

// The entries of a list, in order.
std::vector<std::string> entriesOf(const std::string& list) {
  std::vector<std::string> entries;
  std::size_t pos = 0;
  while (pos < list.size() && list[pos] != '\0') {
    std::size_t end = list.find('\0', pos);
    if (end == std::string::npos) end = list.size();
    entries.push_back(list.substr(pos, end - pos));
    pos = end + 1;
  }
  return entries;
}

bool setStringA(platform::RegKey key, const char* name, const std::string& text) {
  return platform::regSetValueA(key, name, platform::kRegSz, text.data(), text.size());
}

// Writes one side's classes below the host's root key.
bool registerSide(platform::RegKey root, const wchar_t* sideKey, const std::string& classes,
                  const std::string& extensions, const std::string& descriptions,
                  const std::string& modulePath) {
  platform::RegKey side = platform::regCreateKey(root, sideKey);
  if (!side) return false;
  std::vector<std::string> names = entriesOf(classes);
  std::vector<std::string> exts = entriesOf(extensions);
  std::vector<std::string> descs = entriesOf(descriptions);
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::wstring wideName(names[i].begin(), names[i].end());
    platform::RegKey cls = platform::regCreateKey(side, wideName);
    if (!cls) {
      platform::regCloseKey(side);
      return false;
    }
    // A list shorter than the class list gives empty texts rather than a misread.
    setStringA(cls, "Extensions", i < exts.size() ? exts[i] : std::string());
    setStringA(cls, "Name", i < descs.size() ? descs[i] : std::string());
    setStringA(cls, "Path", modulePath);
    platform::regCloseKey(cls);
  }
  platform::regCloseKey(side);
  return true;
}

// Resizes a host handle to the list and copies it in; false when that fails.
bool fillHandle(platform::MemHandle handle, const std::string& list) {
  if (!handle || !platform::memRealloc(handle, list.size())) return false;
  void* p = platform::memLock(handle);
  if (!p) return false;
  std::memcpy(p, list.data(), list.size());
  platform::memUnlock(handle);
  return true;
}

void fillNames(platform::MemHandle classes, platform::MemHandle descriptions,
               platform::MemHandle extensions, const char* classList, std::uint32_t resourceId,
               const char* extensionList) {
  std::string descs = descriptionList(resourceId);
  if (!fillHandle(classes, listOf(classList))) return;
  if (!fillHandle(descriptions, descs)) return;
  fillHandle(extensions, listOf(extensionList));
}

void showNotInstalled() {
  platform::messageBox(gConverter.hostWindow, kNotInstalledMessage, kMessageCaption,
                       platform::kMbOk | platform::kMbIconError);
}

}  // namespace

extern "C" {

std::int32_t VLX_API DllMain(void* instance, std::uint32_t reason, void*) {
  if (reason == kProcessAttach) {
    if (gConverter.attached == 1) return 0;
    gConverter.attached = 1;
    gConverter.moduleInstance = instance;
    platform::disableThreadLibraryCalls(instance);
    return 1;
  }
  if (reason == kProcessDetach) gConverter.attached = 0;
  return 1;
}

std::int32_t VLX_API FRegisterConverter(void* rootKey) {
  std::wstring modulePath;
  if (!platform::moduleFileName(gConverter.moduleInstance, 256, modulePath)) return 0;
  std::string ansiPath = platform::wideToAnsi(modulePath);
  auto root = static_cast<platform::RegKey>(rootKey);
  if (kImportClasses[0] != '\0' &&
      !registerSide(root, L"Text Converters\\Import", listOf(kImportClasses),
                    listOf(kImportExtensions), descriptionList(VLX_IDS_IMPORT_DESCRIPTIONS),
                    ansiPath))
    return 0;
  if (kExportClasses[0] == '\0') return 1;
  return registerSide(root, L"Text Converters\\Export", listOf(kExportClasses),
                      listOf(kExportExtensions), descriptionList(VLX_IDS_EXPORT_DESCRIPTIONS),
                      ansiPath)
             ? 1
             : 0;
}

void VLX_API GetReadNames(platform::MemHandle classes, platform::MemHandle descriptions,
                          platform::MemHandle extensions) {
  fillNames(classes, descriptions, extensions, kImportClasses, VLX_IDS_IMPORT_DESCRIPTIONS,
            kImportExtensions);
}

void VLX_API GetWriteNames(platform::MemHandle classes, platform::MemHandle descriptions,
                           platform::MemHandle extensions) {
  fillNames(classes, descriptions, extensions, kExportClasses, VLX_IDS_EXPORT_DESCRIPTIONS,
            kExportExtensions);
}

platform::MemHandle VLX_API RegisterApp(std::uint32_t hostFlags, void*) {
  static const unsigned char kCapabilities[17] = {
      0x11, 0x00,                          // size of the block
      0x06, 0x01, 0x19, 0x00, 0x00, 0x00,  // version 25.0
      0x04, 0x02, 0x03, 0x00,              // document files supported
      0x03, 0x03, 0x00,                    // file names in the ANSI character set
      0x02, 0x04};                         // the host reloads the document after saving
  gConverter.hostFlags = hostFlags;
  platform::MemHandle block = platform::memAlloc(sizeof kCapabilities);
  if (!block) return nullptr;
  void* p = platform::memLock(block);
  if (!p) {
    platform::memFree(block);
    return nullptr;
  }
  std::memcpy(p, kCapabilities, sizeof kCapabilities);
  platform::memUnlock(block);
  return block;
}

std::int32_t VLX_API InitConverter32(platform::WindowHandle hostWindow, char*) {
  gConverter.hostWindow = hostWindow;
  gConverter.modifierKeyHeld = platform::asyncKeyState(platform::kVkShift) ||
                                       platform::asyncKeyState(platform::kVkControl)
                                   ? 1
                                   : 0;
  convertedCount = 0;
  if (LoadSettings() != 0) {
    showNotInstalled();
    return 0;
  }
  gConverter.optionsModule = platform::loadLibrary(gSettings.installDir + kOptionsModuleName);
  if (!gConverter.optionsModule) {
    showNotInstalled();
    return 0;
  }
  gConverter.showOptEntry =
      reinterpret_cast<ShowOptFunction>(platform::findExport(gConverter.optionsModule, "showOpt"));
  if (!gConverter.showOptEntry) {
    showNotInstalled();
    return 0;
  }
  return 1;
}

void VLX_API UninitConverter() {}

std::int32_t VLX_API IsFormatCorrect32(platform::MemHandle, platform::MemHandle) { return 1; }

std::int32_t VLX_API ForeignToRtf32(platform::MemHandle, void*, platform::MemHandle,
                                    platform::MemHandle, platform::MemHandle,
                                    platform::RtfCallback) {
  return 0;
}

}  // extern "C"
