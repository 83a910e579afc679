#include "cli/installation.h"

#include <cstdlib>
#include <filesystem>

#include "converter/converter.h"
#include "platform/module.h"
#include "platform/registry.h"

namespace {

UserOptions gChoices;

// The built-in options dialog: it asks nothing and stores the command line's choices, as
// the real dialog stores the user's.
#if defined(_WIN32)
std::int32_t __stdcall builtInShowOpt(void*, void*, std::int32_t, std::int32_t*, char*) {
#else
std::int32_t builtInShowOpt(void*, void*, std::int32_t, std::int32_t*, char*) {
#endif
  return WriteUserOptions(gChoices) ? 0 : 1;
}

bool hasLanguageFolder(const std::filesystem::path& share) {
  std::error_code ec;
  return std::filesystem::is_directory(share / "velotrix" / "language", ec);
}

}  // namespace

std::wstring FindShareFolder() {
  if (const char* env = std::getenv("VELOTRIX_SHARE"); env && *env)
    return std::filesystem::path(env).wstring();
  std::filesystem::path program(platform::executablePath());
  std::filesystem::path dir = program.parent_path();
  std::filesystem::path candidates[] = {dir / "share", dir.parent_path() / "share"};
  for (const auto& c : candidates)
    if (hasLanguageFolder(c)) return c.lexically_normal().wstring();
  return candidates[0].lexically_normal().wstring();
}

void InstallBuiltIn(const CliInstallation& installation) {
  gChoices = installation.choices;
#if !defined(_WIN32)
  using platform::RegRoot;
  using platform::RegView;
  platform::regStandInReset();
  platform::regStandInSetDword(RegRoot::LocalMachine, RegView::View32, L"SOFTWARE\\Korvane\\main",
                               L"serverMode", installation.optionsFile.empty() ? 0 : 1);
  platform::regStandInSetString(RegRoot::LocalMachine, RegView::View32,
                                L"SOFTWARE\\Korvane\\velotrix", L"path", installation.path);
  if (!installation.optionsFile.empty())
    platform::regStandInSetString(RegRoot::CurrentUser, RegView::View32, L"SOFTWARE\\Korvane\\main",
                                  L"wmoptini", installation.optionsFile);
  std::wstring path = installation.path;
#else
  // Windows has the real installation: the options module sits where it says.
  std::wstring path;
  if (platform::RegKey key = platform::regOpenKey(
          platform::regRootKey(platform::RegRoot::LocalMachine), L"SOFTWARE\\Korvane\\velotrix",
          platform::RegAccess::Read32)) {
    char16_t buffer[512];
    std::size_t size = sizeof buffer;
    if (platform::regQueryValue(key, L"path", buffer, size))
      for (std::size_t i = 0; i < size / 2 && buffer[i]; ++i) path += static_cast<wchar_t>(buffer[i]);
    platform::regCloseKey(key);
  }
#endif
  platform::registerBuiltInModule(path + L"\\velotrix\\" + kOptionsModuleName,
                                  {{"showOpt", reinterpret_cast<void*>(&builtInShowOpt)}});
}
