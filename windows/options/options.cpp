// The companion options module Korvanevlx64.dll. Its one export, showOpt, shows the
// options dialog before each save and writes the choices into the per-user keys that
// the converter reads. In server mode it asks nothing unless Shift or Ctrl was held when
// the converter was initialised.
#include <windows.h>

#include <cstdint>
#include <string>

#include "converter/user_options.h"
#include "options_resource.h"

namespace {

HINSTANCE ownInstance = nullptr;

struct Language {
  const wchar_t* label;
  const wchar_t* folder;
};
const Language kLanguages[] = {{L"English", L""},       {L"Deutsch", L"german"},
                               {L"Fran\u00e7ais", L"french"}, {L"Polski", L"polish"},
                               {L"\u0420\u0443\u0441\u0441\u043a\u0438\u0439", L"russian"},
                               {L"\u0423\u043a\u0440\u0430\u0457\u043d\u0441\u044c\u043a\u0430", L"ukrainian"}};

// The machine-wide server-mode switch: no dialogs for unattended conversions.
bool serverMode() {
  DWORD value = 0, size = sizeof value;
  return RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Korvane\\main", L"serverMode",
                      RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6432KEY, nullptr, &value, &size) ==
             ERROR_SUCCESS &&
         value != 0;
}

void check(HWND dialog, int id, bool on) {
  CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}
bool checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* options = reinterpret_cast<UserOptions*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      options = reinterpret_cast<UserOptions*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      CheckRadioButton(dialog, IDC_FORMAT_OFFICE_MATH, IDC_FORMAT_EQUATION3,
                       options->eqVersion == 0 ? IDC_FORMAT_EQUATION3 : IDC_FORMAT_OFFICE_MATH);
      check(dialog, IDC_FORCE_UNICODE, options->isUniPrime != 0);
      check(dialog, IDC_ALLOW_MATHTYPE_FONTS, options->isEuclid != 0);
      check(dialog, IDC_STATISTICS, options->isStatistics != 0);
      check(dialog, IDC_PROGRESS_WINDOW, options->isProgressWin != 0);
      HWND combo = GetDlgItem(dialog, IDC_LANGUAGE);
      int selected = 0;
      for (int i = 0; i < static_cast<int>(sizeof kLanguages / sizeof kLanguages[0]); ++i) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kLanguages[i].label));
        if (options->pathLanguage == kLanguages[i].folder) selected = i;
      }
      SendMessageW(combo, CB_SETCURSEL, selected, 0);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK && options) {
        options->eqVersion = checked(dialog, IDC_FORMAT_EQUATION3) ? 0 : 1;
        options->isUniPrime = checked(dialog, IDC_FORCE_UNICODE) ? 1 : 0;
        options->isEuclid = checked(dialog, IDC_ALLOW_MATHTYPE_FONTS) ? 1 : 0;
        options->isStatistics = checked(dialog, IDC_STATISTICS) ? 1 : 0;
        options->isProgressWin = checked(dialog, IDC_PROGRESS_WINDOW) ? 1 : 0;
        LRESULT index = SendDlgItemMessageW(dialog, IDC_LANGUAGE, CB_GETCURSEL, 0, 0);
        if (index >= 0 && index < static_cast<LRESULT>(sizeof kLanguages / sizeof kLanguages[0]))
          options->pathLanguage = kLanguages[index].folder;
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    ownInstance = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

// 0: go on with the stored options; 1: the user cancelled the save.
extern "C" __declspec(dllexport) std::int32_t __stdcall showOpt(void*, void* owner,
                                                                std::int32_t mayStayQuiet,
                                                                std::int32_t* reserved, char*) {
  if (reserved) *reserved = 0;
  UserOptions options;
  ReadUserOptions(options);
  if (mayStayQuiet != 0 && serverMode()) return 0;
  INT_PTR answer = DialogBoxParamW(ownInstance, MAKEINTRESOURCEW(IDD_OPTIONS),
                                   static_cast<HWND>(owner), dialogProc,
                                   reinterpret_cast<LPARAM>(&options));
  if (answer != IDOK) return 1;
  return WriteUserOptions(options) ? 0 : 1;
}
