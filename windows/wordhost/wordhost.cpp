// wordhost: a stand-in for Word's side of the text-converter interface. It loads the
// converter module with LoadLibrary and drives it the way Word does, printing what it
// sees and checking the fixed parts (ordinals, capability block, name lists, result
// codes, registration keys). Exit status 0 when every check passed.
//
//   wordhost MODULE IN.rtf OUT.rtf [--chunk N] [--answer ok|cancel] [--codes]
//            [--register] [--deny-autoconvert] [--hwnd]
//
// --answer starts a thread that finds the process's dialog boxes (message boxes and the
// options dialog), prints their caption and text, and presses OK or Cancel on the message
// boxes (OK on the options dialog).
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using RtfCallback = std::int32_t(__stdcall*)(std::int32_t, std::int32_t);
using FRegisterConverterFn = std::int32_t(__stdcall*)(HKEY);
using NamesFn = void(__stdcall*)(HANDLE, HANDLE, HANDLE);
using RegisterAppFn = HGLOBAL(__stdcall*)(std::uint32_t, void*);
using InitConverter32Fn = std::int32_t(__stdcall*)(HWND, char*);
using UninitConverterFn = void(__stdcall*)();
using RtfToForeign32Fn = std::int32_t(__stdcall*)(HANDLE, void*, HANDLE, HANDLE, RtfCallback);
using IsFormatCorrect32Fn = std::int32_t(__stdcall*)(HANDLE, HANDLE);
using ForeignToRtf32Fn = std::int32_t(__stdcall*)(HANDLE, void*, HANDLE, HANDLE, HANDLE, RtfCallback);

int failures = 0;

// GetProcAddress hands back a generic function pointer; each export has its own type.
template <typename F>
F entry(FARPROC address) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(address));
}

void expect(bool ok, const char* what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) ++failures;
}

std::string hexOf(const unsigned char* p, std::size_t n) {
  std::string out;
  char b[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, i ? " %02x" : "%02x", p[i]);
    out += b;
  }
  return out;
}

std::string handleBytes(HGLOBAL h) {
  std::string out;
  if (!h) return out;
  const char* p = static_cast<const char*>(GlobalLock(h));
  if (p) out.assign(p, GlobalSize(h));
  GlobalUnlock(h);
  return out;
}

// The document is served from a file through a transfer buffer of `chunk` bytes.
struct Host {
  HANDLE file = INVALID_HANDLE_VALUE;
  HGLOBAL buffer = nullptr;
  DWORD chunk = 4096;
  unsigned long calls = 0;
  unsigned long badArgs = 0;
} host;

std::int32_t __stdcall rtfCallback(std::int32_t options, std::int32_t reserved) {
  ++host.calls;
  if (options != 1 || reserved != 0) ++host.badArgs;
  void* p = GlobalLock(host.buffer);
  if (!p) return 0;
  DWORD got = 0;
  if (!ReadFile(host.file, p, host.chunk, &got, nullptr)) got = 0;
  GlobalUnlock(host.buffer);
  return static_cast<std::int32_t>(got);
}

HGLOBAL ansiHandle(const std::string& text, std::size_t size = 0) {
  if (size == 0) size = text.size() + 1;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  char* p = static_cast<char*>(GlobalLock(h));
  std::memcpy(p, text.data(), text.size() < size ? text.size() : size);
  GlobalUnlock(h);
  return h;
}

// ---- Answering dialog boxes --------------------------------------------------------------
std::atomic<bool> answering{false};
int answerId = IDOK;

BOOL CALLBACK answerWindow(HWND window, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  wchar_t cls[64] = {0};
  GetClassNameW(window, cls, 64);
  if (std::wcscmp(cls, L"#32770") != 0) return TRUE;
  wchar_t caption[256] = {0}, text[2048] = {0};
  GetWindowTextW(window, caption, 256);
  GetDlgItemTextW(window, 0xFFFF, text, 2048);  // a message box's text
  char narrowCaption[512] = {0}, narrowText[4096] = {0};
  WideCharToMultiByte(CP_UTF8, 0, caption, -1, narrowCaption, sizeof narrowCaption, nullptr, nullptr);
  WideCharToMultiByte(CP_UTF8, 0, text, -1, narrowText, sizeof narrowText, nullptr, nullptr);
  for (char* c = narrowText; *c; ++c)
    if (*c == '\r' || *c == '\n') *c = ' ';
  // The options dialog is always confirmed; --answer decides the message boxes. A box
  // with only an OK button has no Cancel to press.
  bool optionsDialog = GetDlgItem(window, 0xFFFF) == nullptr;
  int id = answerId == IDCANCEL && !optionsDialog && GetDlgItem(window, IDCANCEL) ? IDCANCEL : IDOK;
  std::printf("dialog: [%s] %s -> %s\n", narrowCaption, narrowText, id == IDOK ? "OK" : "Cancel");
  std::fflush(stdout);
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
  return TRUE;
}

DWORD WINAPI answerThread(LPVOID) {
  while (answering) {
    EnumWindows(answerWindow, 0);
    Sleep(100);
  }
  return 0;
}

// ---- The AutoConvertTo redirection that cannot be removed --------------------------------
// Creates the redirection in the 64-bit view and makes its key read-only, so the
// converter cannot delete it and warns before an Equation 3.0 export.
bool lockAutoConvert() {
  HKEY key = nullptr;
  const wchar_t* path =
      L"SOFTWARE\\Classes\\CLSID\\{0002CE02-0000-0000-C000-000000000046}\\AutoConvertTo";
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                      nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  const wchar_t target[] = L"{00000000-0000-0000-0000-00000000cafe}";
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(target), sizeof target);
  // Everyone may read; nobody may change values.
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
  char aclBuffer[256];
  PACL acl = reinterpret_cast<PACL>(aclBuffer);
  InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION);
  AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, everyone);
  SECURITY_DESCRIPTOR sd;
  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
  bool ok = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
  RegCloseKey(key);
  FreeSid(everyone);
  return ok;
}

std::string readValueA(HKEY key, const char* name) {
  char buffer[1024] = {0};
  DWORD size = sizeof buffer - 1, type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
    return "<missing>";
  // The value was stored without a terminating zero; the system may still report one.
  std::string text(buffer, size);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text + (type == REG_SZ ? "" : " <not a string>");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: wordhost MODULE IN.rtf OUT.rtf [--chunk N] [--answer ok|cancel] "
                         "[--codes] [--register] [--deny-autoconvert] [--hwnd]\n");
    return 2;
  }
  bool codes = false, registerIt = false, denyAutoConvert = false, withWindow = false;
  std::wstring answer;
  for (int i = 4; i < argc; ++i) {
    std::wstring a = argv[i];
    if (a == L"--chunk" && i + 1 < argc) host.chunk = static_cast<DWORD>(_wtoi(argv[++i]));
    else if (a == L"--answer" && i + 1 < argc) answer = argv[++i];
    else if (a == L"--codes") codes = true;
    else if (a == L"--register") registerIt = true;
    else if (a == L"--deny-autoconvert") denyAutoConvert = true;
    else if (a == L"--hwnd") withWindow = true;
  }
  if (host.chunk == 0) host.chunk = 4096;

  // 1. Loading, and the exports by ordinal.
  HMODULE module = LoadLibraryW(argv[1]);
  expect(module != nullptr, "LoadLibrary of the converter module");
  if (!module) return 1;
  const char* names[] = {"FRegisterConverter", "ForeignToRtf32", "GetReadNames", "GetWriteNames",
                         "InitConverter32", "IsFormatCorrect32", "RegisterApp", "RtfToForeign32",
                         "UninitConverter", "DllMain"};
  FARPROC byOrdinal[11] = {nullptr};
  for (int ordinal = 1; ordinal <= 10; ++ordinal) {
    byOrdinal[ordinal] = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    FARPROC byName = GetProcAddress(module, names[ordinal - 1]);
    std::printf("export %d %s\n", ordinal, names[ordinal - 1]);
    std::string what = std::string("ordinal ") + std::to_string(ordinal) + " is " + names[ordinal - 1];
    expect(byOrdinal[ordinal] && byOrdinal[ordinal] == byName, what.c_str());
  }
  auto fRegister = entry<FRegisterConverterFn>(byOrdinal[1]);
  auto foreignToRtf = entry<ForeignToRtf32Fn>(byOrdinal[2]);
  auto getReadNames = entry<NamesFn>(byOrdinal[3]);
  auto getWriteNames = entry<NamesFn>(byOrdinal[4]);
  auto init = entry<InitConverter32Fn>(byOrdinal[5]);
  auto isFormatCorrect = entry<IsFormatCorrect32Fn>(byOrdinal[6]);
  auto registerApp = entry<RegisterAppFn>(byOrdinal[7]);
  auto rtfToForeign = entry<RtfToForeign32Fn>(byOrdinal[8]);
  auto uninit = entry<UninitConverterFn>(byOrdinal[9]);
  if (failures) return 1;

  // 2. The capability block.
  HGLOBAL caps = registerApp(0, nullptr);
  std::string block = handleBytes(caps);
  std::string capsHex = hexOf(reinterpret_cast<const unsigned char*>(block.data()), block.size());
  std::printf("capabilities: %s\n", capsHex.c_str());
  expect(capsHex == "11 00 06 01 19 00 00 00 04 02 03 00 03 03 00 02 04", "capability block");
  GlobalFree(caps);

  // 3. The name lists.
  HGLOBAL h[6];
  for (auto& x : h) x = GlobalAlloc(GMEM_MOVEABLE, 1);
  getReadNames(h[0], h[1], h[2]);
  getWriteNames(h[3], h[4], h[5]);
  const char* labels[] = {"read classes", "read descriptions", "read extensions",
                          "write classes", "write descriptions", "write extensions"};
  std::string lists[6];
  for (int i = 0; i < 6; ++i) {
    lists[i] = handleBytes(h[i]);
    std::printf("%s: %s\n", labels[i],
                hexOf(reinterpret_cast<const unsigned char*>(lists[i].data()), lists[i].size()).c_str());
    GlobalFree(h[i]);
  }
  expect(lists[0] == std::string(2, '\0') && lists[2] == std::string(2, '\0'), "empty import lists");
  expect(lists[3] == std::string("Korvanevlx\0\0", 12), "export class list");
  expect(lists[4] == std::string("Microsoft Equation - RTF [Korvane]\0\0", 36), "export description list");
  expect(lists[5] == std::string("rtf\0\0", 5), "export extension list");
  expect(isFormatCorrect(nullptr, nullptr) == 1, "IsFormatCorrect32 answers 1");
  expect(foreignToRtf(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) == 0, "ForeignToRtf32 answers 0");

  if (denyAutoConvert) expect(lockAutoConvert(), "AutoConvertTo redirection made read-only");

  // 4. Initialisation, with a window of our own as Word's when asked.
  HWND window = nullptr;
  if (withWindow)
    window = CreateWindowExW(0, L"STATIC", L"wordhost", WS_OVERLAPPEDWINDOW, 100, 100, 800, 600,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  HANDLE answerer = nullptr;
  if (!answer.empty()) {
    answerId = answer == L"cancel" ? IDCANCEL : IDOK;
    answering = true;
    answerer = CreateThread(nullptr, 0, answerThread, nullptr, 0, nullptr);
  }
  std::int32_t ready = init(window, nullptr);
  std::printf("InitConverter32: %d\n", ready);
  expect(ready == 1, "InitConverter32 ready");

  // 5. The save, with the document served in chunks.
  host.file = CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  expect(host.file != INVALID_HANDLE_VALUE, "input document opened");
  host.buffer = GlobalAlloc(GMEM_MOVEABLE, host.chunk);
  char outPath[MAX_PATH * 2] = {0};
  WideCharToMultiByte(CP_ACP, 0, argv[3], -1, outPath, sizeof outPath, nullptr, nullptr);
  HGLOBAL fileName = ansiHandle(outPath);
  std::int32_t result = rtfToForeign(fileName, nullptr, host.buffer, nullptr, rtfCallback);
  std::printf("RtfToForeign32: %d (%lu callback calls)\n", result, host.calls);
  expect(result == 0, "RtfToForeign32 result 0");
  expect(host.badArgs == 0, "callback arguments were (1, 0)");
  CloseHandle(host.file);
  GlobalFree(fileName);

  // 6. The other result codes.
  if (codes) {
    int storage = 0;
    HGLOBAL name = ansiHandle(outPath);
    std::int32_t r = rtfToForeign(name, &storage, host.buffer, nullptr, rtfCallback);
    std::printf("foreign storage: %d\n", r);
    expect(r == -5, "a foreign storage gives -5");
    HGLOBAL discarded = GlobalAlloc(GMEM_MOVEABLE, 0);  // a handle that cannot be locked
    r = rtfToForeign(discarded, nullptr, host.buffer, nullptr, rtfCallback);
    std::printf("unlockable file name: %d\n", r);
    expect(r == -8, "an unlockable file name gives -8");
    GlobalFree(discarded);
    HGLOBAL missing = ansiHandle("C:\\no such folder\\velotrix\\out.rtf");
    r = rtfToForeign(missing, nullptr, host.buffer, nullptr, rtfCallback);
    std::printf("uncreatable file: %d\n", r);
    expect(r == -13, "an uncreatable file gives -13");
    GlobalFree(missing);
    GlobalFree(name);
  }
  uninit();
  if (answerer) {
    answering = false;
    WaitForSingleObject(answerer, 2000);
    CloseHandle(answerer);
  }
  GlobalFree(host.buffer);

  // 7. Registration below a scratch key.
  if (registerIt) {
    HKEY root = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VelotrixHostTest", 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &root, nullptr);
    std::int32_t r = fRegister(root);
    std::printf("FRegisterConverter: %d\n", r);
    expect(r == 1, "FRegisterConverter succeeds");
    HKEY cls = nullptr;
    if (RegOpenKeyExA(root, "Text Converters\\Export\\Korvanevlx", 0, KEY_READ, &cls) == ERROR_SUCCESS) {
      std::string ext = readValueA(cls, "Extensions"), name = readValueA(cls, "Name"),
                  path = readValueA(cls, "Path");
      std::printf("registered Extensions=%s\nregistered Name=%s\nregistered Path=%s\n", ext.c_str(),
                  name.c_str(), path.c_str());
      char modulePath[MAX_PATH] = {0};
      GetModuleFileNameA(module, modulePath, MAX_PATH);
      expect(ext == "rtf" && name == "Microsoft Equation - RTF [Korvane]" && path == modulePath,
             "registered values");
      RegCloseKey(cls);
    } else {
      expect(false, "Text Converters\\Export\\Korvanevlx exists");
    }
    HKEY import = nullptr;
    bool noImport = RegOpenKeyExA(root, "Text Converters\\Import", 0, KEY_READ, &import) != ERROR_SUCCESS;
    if (!noImport) RegCloseKey(import);
    expect(noImport, "no import side registered");
    RegCloseKey(root);
  }
  if (window) DestroyWindow(window);
  std::printf("%d check(s) failed\n", failures);
  return failures == 0 ? 0 : 1;
}
