// The user interface through the Windows API.
#include <windows.h>
#include <commdlg.h>

#include <map>

#include "platform/ui.h"

namespace platform {
namespace {

// Window procedures registered per class; the system calls the trampoline, which finds
// the procedure by the window's class.
std::map<std::wstring, WindowProcedure>& procedures() {
  static std::map<std::wstring, WindowProcedure> table;
  return table;
}

LRESULT CALLBACK trampoline(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  wchar_t name[256] = {0};
  if (GetClassNameW(window, name, 256) > 0) {
    auto it = procedures().find(name);
    if (it != procedures().end() && it->second)
      return it->second(window, message, wParam, lParam);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

struct Paint {
  PAINTSTRUCT ps;
  HDC dc;
};
Paint currentPaint;

}  // namespace

int messageBox(WindowHandle owner, const std::wstring& text, const std::wstring& caption,
               std::uint32_t style) {
  return MessageBoxW(static_cast<HWND>(owner), text.c_str(), caption.c_str(), style);
}

bool saveFileDialog(const SaveDialogRequest& request, std::wstring& chosenPath) {
  chosenPath.clear();
  std::size_t capacity = request.maxPath == 0 ? 1000 : request.maxPath;
  std::wstring buffer(capacity, L'\0');
  // The filter is pairs of zero-terminated strings ended by an empty one.
  std::wstring filter;
  for (const auto& part : request.filter) {
    filter += part;
    filter += L'\0';
  }
  filter += L'\0';
  OPENFILENAMEW ofn;
  ZeroMemory(&ofn, sizeof ofn);
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = static_cast<HWND>(request.owner);
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = request.filterIndex;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(capacity);
  ofn.lpstrTitle = request.title.c_str();
  ofn.lpstrDefExt = request.defaultExtension.c_str();
  ofn.Flags = request.flags;
  if (!GetSaveFileNameW(&ofn)) return false;
  buffer.resize(wcsnlen(buffer.c_str(), capacity));
  chosenPath = buffer;
  return true;
}

bool asyncKeyState(int virtualKey) { return GetAsyncKeyState(virtualKey) != 0; }

void sleepMilliseconds(std::uint32_t milliseconds) { Sleep(milliseconds); }

void updateWindow(WindowHandle window) { UpdateWindow(static_cast<HWND>(window)); }

FontHandle defaultGuiFont() { return GetStockObject(DEFAULT_GUI_FONT); }

bool registerWindowClass(InstanceHandle instance, const std::wstring& className,
                         std::uint32_t classStyle, WindowProcedure procedure,
                         const std::wstring& iconPath) {
  procedures()[className] = procedure;
  WNDCLASSW wc;
  ZeroMemory(&wc, sizeof wc);
  wc.style = classStyle;
  wc.lpfnWndProc = trampoline;
  wc.hInstance = static_cast<HINSTANCE>(instance);
  if (!iconPath.empty())
    wc.hIcon = static_cast<HICON>(LoadImageW(nullptr, iconPath.c_str(), IMAGE_ICON, 0, 0,
                                             LR_LOADFROMFILE | LR_DEFAULTSIZE));
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = className.c_str();
  return RegisterClassW(&wc) != 0;
}

void unregisterWindowClass(InstanceHandle instance, const std::wstring& className) {
  UnregisterClassW(className.c_str(), static_cast<HINSTANCE>(instance));
}

WindowHandle createWindow(std::uint32_t exStyle, const std::wstring& className,
                          const std::wstring& text, std::uint32_t style, const Rect& bounds,
                          WindowHandle parent, std::uintptr_t menuOrId, InstanceHandle instance) {
  return CreateWindowExW(exStyle, className.c_str(), text.c_str(), style, bounds.left, bounds.top,
                         bounds.right - bounds.left, bounds.bottom - bounds.top,
                         static_cast<HWND>(parent), reinterpret_cast<HMENU>(menuOrId),
                         static_cast<HINSTANCE>(instance), nullptr);
}

void destroyWindow(WindowHandle window) { DestroyWindow(static_cast<HWND>(window)); }

bool windowRect(WindowHandle window, Rect& rect) {
  RECT r;
  if (!GetWindowRect(static_cast<HWND>(window), &r)) return false;
  rect = Rect{r.left, r.top, r.right, r.bottom};
  return true;
}

bool clientRect(WindowHandle window, Rect& rect) {
  RECT r;
  if (!GetClientRect(static_cast<HWND>(window), &r)) return false;
  rect = Rect{r.left, r.top, r.right, r.bottom};
  return true;
}

void showWindowNormal(WindowHandle window) { ShowWindow(static_cast<HWND>(window), SW_SHOWNORMAL); }

std::intptr_t defaultWindowProcedure(WindowHandle window, std::uint32_t message,
                                     std::uintptr_t wParam, std::intptr_t lParam) {
  return DefWindowProcW(static_cast<HWND>(window), message, wParam, lParam);
}

void setWindowFont(WindowHandle window, FontHandle font) {
  SendMessageW(static_cast<HWND>(window), WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
}

PaintHandle beginPaint(WindowHandle window) {
  currentPaint.dc = BeginPaint(static_cast<HWND>(window), &currentPaint.ps);
  if (!currentPaint.dc) return nullptr;
  SetBkColor(currentPaint.dc, GetSysColor(COLOR_BTNFACE));
  return &currentPaint;
}

void drawTextLine(PaintHandle paint, FontHandle font, const std::wstring& text, const Rect& rect,
                  std::uint32_t format) {
  if (!paint) return;
  HDC dc = static_cast<Paint*>(paint)->dc;
  SelectObject(dc, static_cast<HGDIOBJ>(font));
  RECT r{rect.left, rect.top, rect.right, rect.bottom};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
}

void endPaint(WindowHandle window, PaintHandle paint) {
  if (paint) EndPaint(static_cast<HWND>(window), &static_cast<Paint*>(paint)->ps);
}

}  // namespace platform
