// The export run: one save, from the host's call to the closed output file.
#include <cstring>
#include <string>

#include "converter/converter.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "settings/settings_store.h"
#include "platform/registry.h"
#include "rtf/document.h"
#include "ui/progress.h"

platform::FileHandle outputFile = platform::kInvalidFile;
std::int32_t convertedCount = 0;
std::vector<UnconvertedObject> lastRunUnconverted;
bool lastRunWriteFailed = false;
std::vector<conversion::EquationRecord> lastRunRecords;
bool keepEquationRecords = false;
bool keepEquationTrees = false;

namespace {

constexpr std::size_t kPathBufferSize = 512;
constexpr std::size_t kSaveDialogCapacity = 1000;
constexpr std::uint32_t kSaveDialogFlags = 0x28800;  // path must exist, no read-only, no network
constexpr std::uint32_t kAutoConvertWarningStyle =
    platform::kMbOkCancel | platform::kMbIconExclamation | platform::kMbDefButton2;
const wchar_t kEquationServerKey[] =
    L"SOFTWARE\\Classes\\CLSID\\{0002CE02-0000-0000-C000-000000000046}\\LocalServer32";

// Copies the zero-terminated ANSI path out of the host's handle. A name without a zero
// byte within the 512-byte buffer is refused like an unlockable handle.
bool readHostPath(platform::MemHandle fileName, std::string& path) {
  const auto* p = static_cast<const char*>(platform::memLock(fileName));
  if (!p) return false;
  std::size_t limit = platform::memSize(fileName);
  if (limit > kPathBufferSize) limit = kPathBufferSize;
  const void* end = std::memchr(p, '\0', limit);
  if (end) path.assign(p, static_cast<const char*>(end));
  platform::memUnlock(fileName);
  return end != nullptr;
}

// Offers the Save dialog until a file is created or the user gives up.
void saveAsFallback() {
  while (outputFile == platform::kInvalidFile && gSettings.serverMode == 0) {
    platform::messageBox(gConverter.hostWindow, kCannotSaveMessage, kMessageCaption,
                         platform::kMbOk | platform::kMbIconExclamation);
    platform::SaveDialogRequest request;
    request.owner = gConverter.hostWindow;
    request.title = L"Re-save as Microsoft Equation - RTF [Korvane]:";
    request.filter = {L"RTF Files", L"*.rtf", L"All", L"*.*"};
    request.filterIndex = 1;
    request.defaultExtension = L"rtf";
    request.flags = kSaveDialogFlags;
    request.maxPath = kSaveDialogCapacity;
    std::wstring chosen;
    if (!platform::saveFileDialog(request, chosen)) break;
    outputFile = platform::createOutputFileW(chosen);
  }
}

void closeOutput() {
  platform::closeFile(outputFile);
  outputFile = platform::kInvalidFile;
}

void showStatistics() {
  std::wstring text = StatisticsMessage(gSettings.eqVersion, convertedCount,
                                       gSettings.isUniPrime, gSettings.isEuclid);
  platform::messageBox(gConverter.hostWindow, text, kMessageCaption + L"  statistics",
                       platform::kMbOk | platform::kMbIconInformation);
}

}  // namespace

void StartEquationServer(platform::WindowHandle window) {
  platform::RegKey key = platform::regOpenKey(platform::regRootKey(platform::RegRoot::LocalMachine),
                                              kEquationServerKey, platform::RegAccess::Read);
  if (!key) return;
  std::wstring command;
  if (!ReadRegString(command, key, L"", kKeyCloseOnSuccess)) return;
  if (command.empty()) return;
  platform::startProgramHidden(command);
  platform::sleepMilliseconds(1000);
  if (window) platform::updateWindow(window);
}

void CloseEquationEditorWindows() {
  for (platform::WindowHandle window : platform::topLevelWindows()) {
    std::string className;
    if (!platform::windowClassNameA(window, 16, className)) continue;
    if (className.find("EQNWINCLASS") != std::string::npos)
      platform::postMessage(window, platform::kWmClose, 0, 0);
  }
  platform::sleepMilliseconds(500);
}

extern "C" std::int32_t VLX_API RtfToForeign32(platform::MemHandle fileName, void* foreignStorage,
                                               platform::MemHandle rtfBuffer, platform::MemHandle,
                                               platform::RtfCallback rtfCallback) {
  if (foreignStorage) return kRtfForeignStorage;
  std::string path;
  if (!readHostPath(fileName, path)) return kRtfBadFileName;

  outputFile = platform::createOutputFileA(path.c_str());
  saveAsFallback();
  if (outputFile == platform::kInvalidFile) return kRtfNoOutputFile;

  // The options dialog; without a resolved dialog the run goes on with the settings it has.
  if (gConverter.showOptEntry) {
    std::int32_t reserved = 0;
    static char optionsBuffer[64];
    std::memset(optionsBuffer, 0, sizeof optionsBuffer);
    std::int32_t answer = gConverter.showOptEntry(gConverter.moduleInstance, gConverter.hostWindow,
                                                  gConverter.modifierKeyHeld == 1 ? 0 : 1,
                                                  &reserved, optionsBuffer);
    if (answer == 1 || answer >= 10) {
      closeOutput();
      return kRtfDone;
    }
    LoadSettings();
  }

  if (gSettings.autoConvertBlocked & 2) {
    int answer = platform::messageBox(gConverter.hostWindow, msgAutoConvertWarning, kMessageCaption,
                                      kAutoConvertWarningStyle);
    if (answer == platform::kIdCancel) {
      closeOutput();
      return kRtfDone;
    }
  }
  if (gSettings.eqVersion == 0) StartEquationServer(gConverter.hostWindow);

  bool progress = gSettings.serverMode == 0 && gSettings.isProgressWin != 0;
  if (progress)
    ShowProgressWindow(gConverter.moduleInstance, gConverter.hostWindow, L"", msgCancelButton,
                       msgCancelConfirm, msgPreparing, msgConfiguring, false);
  // One pass with the settings of this moment; its counts go into the process-wide ones.
  DocumentPass pass;
  pass.equations.eqVersion = gSettings.eqVersion;
  pass.equations.euclid = gSettings.isEuclid != 0;
  pass.equations.uniPrime = gSettings.isUniPrime != 0;
  pass.equations.keepRecords = keepEquationRecords;
  pass.equations.keepTrees = keepEquationTrees;
  RunDocumentPass(pass, rtfCallback, rtfBuffer, outputFile);
  convertedCount += pass.converted;
  lastRunUnconverted = std::move(pass.unconverted);
  lastRunRecords = std::move(pass.records);
  lastRunWriteFailed = pass.output.failed;
  if (progress) CloseProgressWindow();

  if (gSettings.isStatistics != 0) showStatistics();
  if (gSettings.eqVersion == 0) CloseEquationEditorWindows();
  closeOutput();
  return kRtfDone;
}
