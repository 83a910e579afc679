// The user interface the converter needs from the OS: message boxes, the Save dialog, key
// state, and the few window functions of the progress window. win32/ calls the real API;
// posix/ has stand-ins: message boxes and the Save dialog go to replaceable handlers, and
// windows are entries of an in-memory table that tests can inspect.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

using WindowHandle = void*;
using InstanceHandle = void*;
using FontHandle = void*;

// ---- Message boxes ---------------------------------------------------------------------
// Style bits and answers, with the values MessageBoxW uses.
constexpr std::uint32_t kMbOk = 0x0;
constexpr std::uint32_t kMbOkCancel = 0x1;
constexpr std::uint32_t kMbYesNoCancel = 0x3;
constexpr std::uint32_t kMbYesNo = 0x4;
constexpr std::uint32_t kMbIconError = 0x10;
constexpr std::uint32_t kMbIconQuestion = 0x20;
constexpr std::uint32_t kMbIconExclamation = 0x30;
constexpr std::uint32_t kMbIconInformation = 0x40;
constexpr std::uint32_t kMbDefButton2 = 0x100;

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Shows a modal message box and returns the button chosen (kIdOk, ...).
int messageBox(WindowHandle owner, const std::wstring& text, const std::wstring& caption,
               std::uint32_t style);

// ---- The Save dialog -------------------------------------------------------------------
struct SaveDialogRequest {
  WindowHandle owner = nullptr;
  std::wstring title;
  std::vector<std::wstring> filter;  // description, pattern, description, pattern, ...
  std::uint32_t filterIndex = 1;
  std::wstring defaultExtension;
  std::uint32_t flags = 0;
  std::size_t maxPath = 0;  // capacity of the file-name buffer, in characters
};

// Asks for a file to save to; false when the user cancelled.
bool saveFileDialog(const SaveDialogRequest& request, std::wstring& chosenPath);

// ---- Keys ------------------------------------------------------------------------------
constexpr int kVkShift = 16;
constexpr int kVkControl = 17;

// True when GetAsyncKeyState reports the key with a non-zero state.
bool asyncKeyState(int virtualKey);

// ---- Waiting and refreshing ------------------------------------------------------------
void sleepMilliseconds(std::uint32_t milliseconds);
void updateWindow(WindowHandle window);

// ---- Windows for the progress window ---------------------------------------------------
struct Rect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

constexpr std::uint32_t kWmPaint = 0x000F;
constexpr std::uint32_t kWmCommand = 0x0111;
constexpr std::uint32_t kWmClose = 0x0010;

// A window procedure in plain form; the win32 layer adapts it to the system's calling
// convention.
using WindowProcedure = std::intptr_t (*)(WindowHandle window, std::uint32_t message,
                                          std::uintptr_t wParam, std::intptr_t lParam);

// The default GUI font (stock object 17); null when the system has none.
FontHandle defaultGuiFont();
// Registers a window class with the button-face background and the arrow cursor; an
// icon is loaded from `iconPath` when it is not empty.
bool registerWindowClass(InstanceHandle instance, const std::wstring& className,
                         std::uint32_t classStyle, WindowProcedure procedure,
                         const std::wstring& iconPath);
void unregisterWindowClass(InstanceHandle instance, const std::wstring& className);
WindowHandle createWindow(std::uint32_t exStyle, const std::wstring& className,
                          const std::wstring& text, std::uint32_t style, const Rect& bounds,
                          WindowHandle parent, std::uintptr_t menuOrId, InstanceHandle instance);
void destroyWindow(WindowHandle window);
bool windowRect(WindowHandle window, Rect& rect);
bool clientRect(WindowHandle window, Rect& rect);
void showWindowNormal(WindowHandle window);
std::intptr_t defaultWindowProcedure(WindowHandle window, std::uint32_t message,
                                     std::uintptr_t wParam, std::intptr_t lParam);
// Gives a control the font (WM_SETFONT).
void setWindowFont(WindowHandle window, FontHandle font);

// Painting: between beginPaint and endPaint, text is drawn on the window in `font` over
// the button-face colour. `format` takes DrawTextW's flags.
using PaintHandle = void*;
PaintHandle beginPaint(WindowHandle window);
void drawTextLine(PaintHandle paint, FontHandle font, const std::wstring& text, const Rect& rect,
                  std::uint32_t format);
void endPaint(WindowHandle window, PaintHandle paint);

#if !defined(_WIN32)
// ---- Posix stand-ins (the command-line tool and tests) ---------------------------------
using MessageBoxHandler = std::function<int(WindowHandle owner, const std::wstring& text,
                                            const std::wstring& caption, std::uint32_t style)>;
using SaveDialogHandler = std::function<bool(const SaveDialogRequest&, std::wstring&)>;

// Replaces the message-box handler; an empty handler restores the default, which answers
// with the box's default button and shows nothing.
void setMessageBoxHandler(MessageBoxHandler handler);
// Replaces the Save dialog; an empty handler restores the default, which cancels.
void setSaveDialogHandler(SaveDialogHandler handler);
void setAsyncKeyState(int virtualKey, bool down);

// The in-memory windows: what was created, as the real system would have it.
struct StandInWindow {
  WindowHandle handle = nullptr;
  std::wstring className;
  std::wstring text;
  std::uint32_t style = 0;
  Rect bounds;  // screen coordinates for top-level windows, client ones for children
  WindowHandle parent = nullptr;
  std::uintptr_t id = 0;
  FontHandle font = nullptr;
};
// Creates a top-level window of the given size (an owner for tests); its client area is
// the window less a 1-pixel frame.
WindowHandle createStandInWindow(const std::wstring& className, const Rect& bounds);
// The live windows in creation order.
std::vector<StandInWindow> standInWindows();
bool standInClassRegistered(const std::wstring& className);
// Sends a message to a stand-in window's procedure as the system would deliver it.
std::intptr_t sendStandInMessage(WindowHandle window, std::uint32_t message,
                                 std::uintptr_t wParam, std::intptr_t lParam);
// The text lines drawn by the last paint of each window, with their rectangles.
struct DrawnText {
  WindowHandle window = nullptr;
  std::wstring text;
  Rect rect;
  std::uint32_t format = 0;
};
std::vector<DrawnText> standInDrawnText();
// Forgets every window, class and drawing.
void resetStandInWindows();
// Milliseconds asked for through sleepMilliseconds since the last reset; the stand-in
// does not really wait.
std::uint64_t standInSleptMilliseconds();
#endif

}  // namespace platform
