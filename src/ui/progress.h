// The progress window shown while an export run walks the document: a title, two lines of
// text and a Cancel button, placed over the host's window.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui.h"

struct ProgressWindow {
  std::int32_t width = 500;
  std::int32_t height = 150;
  std::int32_t buttonWidth = 80;
  std::int32_t buttonHeight = 24;
  std::int32_t buttonMarginX = 25;  // also the horizontal offset when the owner is small
  std::int32_t buttonMarginY = 10;  // also the vertical offset when the owner is small
  std::int32_t buttonId = 100;
  std::int32_t textMargin = 10;
  std::wstring className = L"KVNPROGRESSWIN";
  std::wstring title = L"Korvane Math Utilities";
  std::wstring firstLine;
  std::wstring secondLine;
  std::wstring confirmText;
  platform::InstanceHandle instance = nullptr;
  platform::WindowHandle window = nullptr;
  platform::WindowHandle button = nullptr;
  platform::FontHandle font = platform::defaultGuiFont();
};

extern ProgressWindow gProgressWindow;

// Result codes of ShowProgressWindow.
constexpr std::int32_t kProgressShown = 0;
constexpr std::int32_t kProgressNoFont = 1;
constexpr std::int32_t kProgressNoInstance = 2;
constexpr std::int32_t kProgressNoWindow = 3;

std::int32_t ShowProgressWindow(platform::InstanceHandle instance, platform::WindowHandle owner,
                                const std::wstring& iconPath, const std::wstring& buttonText,
                                const std::wstring& confirmText, const std::wstring& firstLine,
                                const std::wstring& secondLine, bool buttonEnabled);
// Destroys the window if there is one and unregisters the class; harmless when hidden.
void CloseProgressWindow();
std::intptr_t ProgressWindowProc(platform::WindowHandle window, std::uint32_t message,
                                 std::uintptr_t wParam, std::intptr_t lParam);
