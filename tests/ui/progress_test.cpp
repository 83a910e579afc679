// The progress window on the posix stand-in windows: placement over its owner, the
// button, painting and the cancel question.
#include <gtest/gtest.h>

#include <array>

#include "platform/ui.h"
#include "ui/progress.h"

namespace {

int instanceTag;
platform::InstanceHandle instance = &instanceTag;

std::array<std::int32_t, 4> corners(const platform::Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::resetStandInWindows();
    gProgressWindow = ProgressWindow{};
  }
  void TearDown() override {
    CloseProgressWindow();
    platform::setMessageBoxHandler(nullptr);
  }
  static std::int32_t show(platform::WindowHandle owner, bool enabled = false) {
    return ShowProgressWindow(instance, owner, L"", L"Cancel", L"Stop?", L"first", L"second", enabled);
  }
  static bool find(const std::wstring& cls, platform::StandInWindow& found) {
    for (const auto& w : platform::standInWindows())
      if (w.className == cls) return found = w, true;
    return false;
  }
};

TEST_F(ProgressTest, PlacementOverTheOwner) {
  struct Case {
    platform::Rect owner;
    std::int32_t x, y;
  } cases[] = {
      {{100, 50, 1100, 850}, 100 + 250, 50 + 325},  // centred
      {{100, 50, 400, 150}, 125, 60},               // smaller than the window: fixed offsets
      {{0, 0, 502, 152}, 1, 1},                     // an offset of exactly 1 still centres
      {{0, 0, 501, 151}, 25, 10},                   // an offset of 0 does not
  };
  for (const Case& c : cases) {
    SetUp();
    platform::WindowHandle owner = platform::createStandInWindow(L"Owner", c.owner);
    ASSERT_EQ(show(owner), kProgressShown);
    platform::StandInWindow w;
    ASSERT_TRUE(find(L"KVNPROGRESSWIN", w));
    EXPECT_EQ(corners(w.bounds), (std::array<std::int32_t, 4>{c.x, c.y, c.x + 500, c.y + 150}));
    EXPECT_EQ(w.parent, owner);
    CloseProgressWindow();
  }
}

TEST_F(ProgressTest, ButtonCloseAndFailures) {
  platform::WindowHandle owner = platform::createStandInWindow(L"Owner", {0, 0, 800, 600});
  platform::StandInWindow button;
  for (bool enabled : {false, true}) {
    ASSERT_EQ(show(owner, enabled), kProgressShown);
    ASSERT_TRUE(find(L"BUTTON", button));
    EXPECT_EQ(button.style & 0x08000000u, enabled ? 0u : 0x08000000u);  // disabled bit
    EXPECT_EQ(button.text, L"Cancel");
    CloseProgressWindow();
    EXPECT_FALSE(platform::standInClassRegistered(L"KVNPROGRESSWIN"));
    EXPECT_FALSE(find(L"BUTTON", button));
    CloseProgressWindow();  // twice is harmless
  }
  EXPECT_EQ(ShowProgressWindow(nullptr, owner, L"", L"", L"", L"", L"", false), kProgressNoInstance);
  gProgressWindow.font = nullptr;
  EXPECT_EQ(show(owner), kProgressNoFont);
  EXPECT_EQ(platform::standInWindows().size(), 1u);  // only the owner
}

TEST_F(ProgressTest, PaintsBothLinesInTheUpperThirds) {
  platform::WindowHandle owner = platform::createStandInWindow(L"Owner", {0, 0, 800, 600});
  ASSERT_EQ(show(owner), kProgressShown);
  platform::sendStandInMessage(gProgressWindow.window, platform::kWmPaint, 0, 0);
  auto drawn = platform::standInDrawnText();
  ASSERT_EQ(drawn.size(), 2u);
  platform::Rect c;
  platform::clientRect(gProgressWindow.window, c);
  EXPECT_EQ(drawn[0].text, L"first");
  EXPECT_EQ(corners(drawn[0].rect), (std::array<std::int32_t, 4>{10, 10, c.right - 10, c.bottom / 3}));
  EXPECT_EQ(drawn[1].text, L"second");
  EXPECT_EQ(drawn[1].rect.top, c.bottom / 3);
  EXPECT_EQ(drawn[1].rect.bottom, 2 * c.bottom / 3);
  platform::StandInWindow button;
  ASSERT_TRUE(find(L"BUTTON", button));
  EXPECT_EQ(button.font, gProgressWindow.font);
}

TEST_F(ProgressTest, CancelQuestionOnlyForTheButton) {
  for (int answer : {platform::kIdNo, platform::kIdYes}) {
    SetUp();
    std::vector<std::wstring> asked;
    platform::setMessageBoxHandler([&](platform::WindowHandle, const std::wstring& text,
                                       const std::wstring& caption, std::uint32_t style) {
      asked.push_back(text + L"|" + caption + L"|" + std::to_wstring(style));
      return answer;
    });
    ASSERT_EQ(show(platform::createStandInWindow(L"Owner", {0, 0, 800, 600}), true), kProgressShown);
    EXPECT_EQ(platform::sendStandInMessage(gProgressWindow.window, platform::kWmCommand, 99, 0), 1);
    EXPECT_TRUE(asked.empty()) << "another control's command asks nothing";
    EXPECT_EQ(platform::sendStandInMessage(gProgressWindow.window, platform::kWmCommand, 100, 0), 1);
    // Yes/No with a question mark and No as the default (0x123).
    EXPECT_EQ(asked, std::vector<std::wstring>{L"Stop?|Korvane Math Utilities|291"});
    const bool closes = answer == platform::kIdYes;
    platform::StandInWindow w;
    EXPECT_EQ(find(L"KVNPROGRESSWIN", w), !closes);
  }
}

}  // namespace
