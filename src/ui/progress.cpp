#include "ui/progress.h"

ProgressWindow gProgressWindow;

namespace {

constexpr std::uint32_t kClassStyleNoClose = 0x0200;
constexpr std::uint32_t kWindowStyle = 0x10C10000;   // visible, caption, maximise box
constexpr std::uint32_t kButtonStyle = 0x50010000;   // child, visible, tab stop
constexpr std::uint32_t kButtonDisabled = 0x08000000;
constexpr std::uint32_t kTextFormat = 0x0824;        // one line, centred vertically, no prefix
// The question's buttons (0x3), question icon, the second button as the default.
constexpr std::uint32_t kConfirmStyle = 0x0123;

// Offset of the progress window from the owner's edge along one axis: centred when the
// owner is larger, otherwise the fixed margin.
std::int32_t placeAlong(std::int32_t ownerStart, std::int32_t ownerEnd, std::int32_t size,
                        std::int32_t fallback) {
  std::int64_t offset = (static_cast<std::int64_t>(ownerEnd) - ownerStart - size) / 2;
  return static_cast<std::int32_t>(ownerStart + (offset >= 1 ? offset : fallback));
}

}  // namespace

std::int32_t ShowProgressWindow(platform::InstanceHandle instance, platform::WindowHandle owner,
                                const std::wstring& iconPath, const std::wstring& buttonText,
                                const std::wstring& confirmText, const std::wstring& firstLine,
                                const std::wstring& secondLine, bool buttonEnabled) {
  ProgressWindow& pw = gProgressWindow;
  if (!pw.font) return kProgressNoFont;
  if (!instance) return kProgressNoInstance;
  pw.instance = instance;
  pw.confirmText = confirmText;

  platform::registerWindowClass(instance, pw.className, kClassStyleNoClose, &ProgressWindowProc,
                                iconPath);

  platform::Rect owned;
  platform::windowRect(owner, owned);  // a missing owner reads as an empty rectangle
  std::int32_t x = placeAlong(owned.left, owned.right, pw.width, pw.buttonMarginX);
  std::int32_t y = placeAlong(owned.top, owned.bottom, pw.height, pw.buttonMarginY);
  pw.window = platform::createWindow(0, pw.className, pw.title, kWindowStyle,
                                     platform::Rect{x, y, x + pw.width, y + pw.height}, owner, 0,
                                     instance);
  if (!pw.window) return kProgressNoWindow;

  platform::Rect client;
  platform::clientRect(pw.window, client);
  std::int32_t bx = client.right - pw.buttonWidth - pw.buttonMarginX;
  std::int32_t by = client.bottom - pw.buttonHeight - pw.buttonMarginY;
  std::uint32_t style = kButtonStyle | (buttonEnabled ? 0 : kButtonDisabled);
  pw.button = platform::createWindow(0, L"BUTTON", buttonText, style,
                                     platform::Rect{bx, by, bx + pw.buttonWidth, by + pw.buttonHeight},
                                     pw.window, static_cast<std::uintptr_t>(pw.buttonId), instance);
  if (!pw.button) return kProgressNoWindow;

  pw.firstLine = firstLine;
  pw.secondLine = secondLine;
  platform::showWindowNormal(pw.window);
  platform::updateWindow(pw.window);
  return kProgressShown;
}

void CloseProgressWindow() {
  ProgressWindow& pw = gProgressWindow;
  if (pw.window) platform::destroyWindow(pw.window);
  pw.window = nullptr;
  pw.button = nullptr;
  if (pw.instance) platform::unregisterWindowClass(pw.instance, pw.className);
}

std::intptr_t ProgressWindowProc(platform::WindowHandle window, std::uint32_t message,
                                 std::uintptr_t wParam, std::intptr_t lParam) {
  ProgressWindow& pw = gProgressWindow;
  if (message == platform::kWmPaint) {
    platform::PaintHandle paint = platform::beginPaint(window);
    if (pw.button) platform::setWindowFont(pw.button, pw.font);
    platform::Rect c;
    platform::clientRect(window, c);
    platform::drawTextLine(paint, pw.font, pw.firstLine,
                           platform::Rect{c.left + pw.textMargin, c.top + pw.textMargin,
                                          c.right - pw.textMargin, c.bottom / 3},
                           kTextFormat);
    platform::drawTextLine(paint, pw.font, pw.secondLine,
                           platform::Rect{c.left + pw.textMargin, c.bottom / 3,
                                          c.right - pw.textMargin, 2 * c.bottom / 3},
                           kTextFormat);
    platform::endPaint(window, paint);
    return 0;
  }
  if (message == platform::kWmCommand) {
    if ((wParam & 0xFFFF) == static_cast<std::uintptr_t>(pw.buttonId)) {
      int answer = platform::messageBox(window, pw.confirmText, pw.title, kConfirmStyle);
      if (answer == platform::kIdYes) CloseProgressWindow();
    }
    return 1;
  }
  return platform::defaultWindowProcedure(window, message, wParam, lParam);
}
