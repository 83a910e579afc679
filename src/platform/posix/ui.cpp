// User-interface stand-ins for posix: message boxes and the Save dialog go to handlers that
// the command-line tool and tests install, key states are settable, and windows live in
// an in-memory table so that what the progress window does can be checked.
#include "platform/ui.h"

#include <map>

namespace platform {
namespace {

struct StandInClass {
  InstanceHandle instance = nullptr;
  WindowProcedure procedure = nullptr;
};

struct UiState {
  MessageBoxHandler messageBoxHandler;
  SaveDialogHandler saveDialogHandler;
  std::map<int, bool> keys;
  std::vector<StandInWindow> windows;
  std::map<std::wstring, StandInClass> classes;
  std::vector<DrawnText> drawn;
  std::uintptr_t nextHandle = 0x1000;
  std::uint64_t slept = 0;
};

UiState& ui() {
  static UiState state;
  return state;
}

StandInWindow* findWindow(WindowHandle handle) {
  if (!handle) return nullptr;
  for (auto& w : ui().windows)
    if (w.handle == handle) return &w;
  return nullptr;
}

// The answer a user who just presses Enter gives: the box's default button.
int defaultAnswer(std::uint32_t style) {
  bool second = (style & 0xF00) == kMbDefButton2;
  switch (style & 0xF) {
    case kMbOkCancel: return second ? kIdCancel : kIdOk;
    case kMbYesNo:
    case kMbYesNoCancel: return second ? kIdNo : kIdYes;
    default: return kIdOk;
  }
}

// A paint in progress is identified by the window it paints.
struct PaintState {
  WindowHandle window = nullptr;
};
PaintState currentPaint;

}  // namespace

int messageBox(WindowHandle owner, const std::wstring& text, const std::wstring& caption,
               std::uint32_t style) {
  if (ui().messageBoxHandler) return ui().messageBoxHandler(owner, text, caption, style);
  return defaultAnswer(style);
}

bool saveFileDialog(const SaveDialogRequest& request, std::wstring& chosenPath) {
  chosenPath.clear();
  if (ui().saveDialogHandler) return ui().saveDialogHandler(request, chosenPath);
  return false;
}

bool asyncKeyState(int virtualKey) {
  auto it = ui().keys.find(virtualKey);
  return it != ui().keys.end() && it->second;
}

void sleepMilliseconds(std::uint32_t milliseconds) { ui().slept += milliseconds; }

void updateWindow(WindowHandle) {}

FontHandle defaultGuiFont() {
  static int font;
  return &font;
}

bool registerWindowClass(InstanceHandle instance, const std::wstring& className, std::uint32_t,
                         WindowProcedure procedure, const std::wstring&) {
  if (!instance || className.empty() || !procedure) return false;
  if (ui().classes.count(className)) return false;  // as RegisterClassW: already registered
  ui().classes[className] = StandInClass{instance, procedure};
  return true;
}

void unregisterWindowClass(InstanceHandle, const std::wstring& className) {
  ui().classes.erase(className);
}

WindowHandle createWindow(std::uint32_t, const std::wstring& className, const std::wstring& text,
                          std::uint32_t style, const Rect& bounds, WindowHandle parent,
                          std::uintptr_t menuOrId, InstanceHandle) {
  // Only registered classes and the system's button class can be created.
  if (className != L"BUTTON" && !ui().classes.count(className)) return nullptr;
  if (parent && !findWindow(parent)) return nullptr;
  StandInWindow w;
  w.handle = reinterpret_cast<WindowHandle>(ui().nextHandle += 0x10);
  w.className = className;
  w.text = text;
  w.style = style;
  w.bounds = bounds;
  w.parent = parent;
  w.id = menuOrId;
  ui().windows.push_back(w);
  return w.handle;
}

void destroyWindow(WindowHandle window) {
  auto& ws = ui().windows;
  // Children (and owned windows) go with their parent.
  std::vector<WindowHandle> doomed{window};
  for (std::size_t i = 0; i < doomed.size(); ++i)
    for (const auto& w : ws)
      if (w.parent == doomed[i]) doomed.push_back(w.handle);
  for (WindowHandle d : doomed)
    for (auto it = ws.begin(); it != ws.end(); ++it)
      if (it->handle == d) {
        ws.erase(it);
        break;
      }
}

bool windowRect(WindowHandle window, Rect& rect) {
  StandInWindow* w = findWindow(window);
  if (!w) return false;
  rect = w->bounds;
  return true;
}

bool clientRect(WindowHandle window, Rect& rect) {
  StandInWindow* w = findWindow(window);
  if (!w) return false;
  std::int32_t width = w->bounds.right - w->bounds.left;
  std::int32_t height = w->bounds.bottom - w->bounds.top;
  // Windows other than controls lose a 1-pixel frame (a real caption would take more).
  std::int32_t frame = w->className == L"BUTTON" ? 0 : 1;
  rect = Rect{0, 0, width > 2 * frame ? width - 2 * frame : 0,
              height > 2 * frame ? height - 2 * frame : 0};
  return true;
}

void showWindowNormal(WindowHandle) {}

std::intptr_t defaultWindowProcedure(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
  return 0;
}

void setWindowFont(WindowHandle window, FontHandle font) {
  if (StandInWindow* w = findWindow(window)) w->font = font;
}

PaintHandle beginPaint(WindowHandle window) {
  currentPaint.window = window;
  auto& drawn = ui().drawn;
  for (auto it = drawn.begin(); it != drawn.end();)
    it = it->window == window ? drawn.erase(it) : it + 1;
  return &currentPaint;
}

void drawTextLine(PaintHandle paint, FontHandle, const std::wstring& text, const Rect& rect,
                  std::uint32_t format) {
  if (!paint) return;
  ui().drawn.push_back(DrawnText{static_cast<PaintState*>(paint)->window, text, rect, format});
}

void endPaint(WindowHandle, PaintHandle) { currentPaint.window = nullptr; }

void setMessageBoxHandler(MessageBoxHandler handler) { ui().messageBoxHandler = std::move(handler); }
void setSaveDialogHandler(SaveDialogHandler handler) { ui().saveDialogHandler = std::move(handler); }
void setAsyncKeyState(int virtualKey, bool down) { ui().keys[virtualKey] = down; }

WindowHandle createStandInWindow(const std::wstring& className, const Rect& bounds) {
  StandInWindow w;
  w.handle = reinterpret_cast<WindowHandle>(ui().nextHandle += 0x10);
  w.className = className;
  w.bounds = bounds;
  ui().windows.push_back(w);
  return w.handle;
}

std::vector<StandInWindow> standInWindows() { return ui().windows; }

bool standInClassRegistered(const std::wstring& className) {
  return ui().classes.count(className) > 0;
}

std::intptr_t sendStandInMessage(WindowHandle window, std::uint32_t message,
                                 std::uintptr_t wParam, std::intptr_t lParam) {
  StandInWindow* w = findWindow(window);
  if (!w) return 0;
  auto it = ui().classes.find(w->className);
  if (it == ui().classes.end()) return 0;
  return it->second.procedure(window, message, wParam, lParam);
}

std::vector<DrawnText> standInDrawnText() { return ui().drawn; }

void resetStandInWindows() {
  ui().windows.clear();
  ui().classes.clear();
  ui().drawn.clear();
  ui().slept = 0;
}

std::uint64_t standInSleptMilliseconds() { return ui().slept; }

}  // namespace platform
