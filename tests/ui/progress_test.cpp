// The progress window on the posix stand-in windows: placement over its owner, the
// button, painting and the cancel question.
#include <gtest/gtest.h>

#include "platform/ui.h"
#include "ui/progress.h"

namespace {

int instanceTag;
platform::InstanceHandle instance = &instanceTag;

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
      if (w.className == cls) {
        found = w;
        return true;
      }
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
    EXPECT_EQ(w.bounds.left, c.x);
    EXPECT_EQ(w.bounds.top, c.y);
    EXPECT_EQ(w.bounds.right - w.bounds.left, 500);
    EXPECT_EQ(w.bounds.bottom - w.bounds.top, 150);
    EXPECT_EQ(w.style, 0x10C10000u);
    EXPECT_EQ(w.parent, owner);
    CloseProgressWindow();
  }
}

TEST_F(ProgressTest, ButtonAndResultCodes) {
  platform::WindowHandle owner = platform::createStandInWindow(L"Owner", {0, 0, 800, 600});
  ASSERT_EQ(show(owner, false), kProgressShown);
  platform::StandInWindow button;
  ASSERT_TRUE(find(L"BUTTON", button));
  EXPECT_EQ(button.style, 0x58010000u);
  EXPECT_EQ(button.id, 100u);
  EXPECT_EQ(button.text, L"Cancel");
  platform::Rect client;
  platform::clientRect(gProgressWindow.window, client);
  EXPECT_EQ(button.bounds.right, client.right - 25);
  EXPECT_EQ(button.bounds.bottom, client.bottom - 10);
  EXPECT_EQ(button.bounds.right - button.bounds.left, 80);
  EXPECT_EQ(button.bounds.bottom - button.bounds.top, 24);
  CloseProgressWindow();
  EXPECT_FALSE(platform::standInClassRegistered(L"KVNPROGRESSWIN"));
  EXPECT_FALSE(find(L"BUTTON", button));
  CloseProgressWindow();  // twice is harmless

  ASSERT_EQ(show(owner, true), kProgressShown);
  ASSERT_TRUE(find(L"BUTTON", button));
  EXPECT_EQ(button.style, 0x50010000u);
  CloseProgressWindow();

  EXPECT_EQ(ShowProgressWindow(nullptr, owner, L"", L"", L"", L"", L"", false), kProgressNoInstance);
  gProgressWindow.font = nullptr;
  EXPECT_EQ(show(owner), kProgressNoFont);
  EXPECT_EQ(platform::standInWindows().size(), 1u);  // only the owner
}

TEST_F(ProgressTest, PaintsBothLines) {
  platform::WindowHandle owner = platform::createStandInWindow(L"Owner", {0, 0, 800, 600});
  ASSERT_EQ(show(owner), kProgressShown);
  platform::sendStandInMessage(gProgressWindow.window, platform::kWmPaint, 0, 0);
  auto drawn = platform::standInDrawnText();
  ASSERT_EQ(drawn.size(), 2u);
  platform::Rect c;
  platform::clientRect(gProgressWindow.window, c);
  EXPECT_EQ(drawn[0].text, L"first");
  EXPECT_EQ(drawn[0].rect.left, 10);
  EXPECT_EQ(drawn[0].rect.top, 10);
  EXPECT_EQ(drawn[0].rect.right, c.right - 10);
  EXPECT_EQ(drawn[0].rect.bottom, c.bottom / 3);
  EXPECT_EQ(drawn[1].text, L"second");
  EXPECT_EQ(drawn[1].rect.top, c.bottom / 3);
  EXPECT_EQ(drawn[1].rect.bottom, 2 * c.bottom / 3);
  EXPECT_EQ(drawn[0].format, 0x0824u);
  platform::StandInWindow button;
  ASSERT_TRUE(find(L"BUTTON", button));
  EXPECT_EQ(button.font, gProgressWindow.font);
}

TEST_F(ProgressTest, CancelQuestion) {
  struct Case {
    int answer;
    bool closes;
  } cases[] = {{platform::kIdNo, false}, {platform::kIdYes, true}};
  for (const Case& c : cases) {
    SetUp();
    std::vector<std::uint32_t> styles;
    std::vector<std::wstring> texts;
    platform::setMessageBoxHandler([&](platform::WindowHandle, const std::wstring& text,
                                       const std::wstring& caption, std::uint32_t style) {
      texts.push_back(text + L"|" + caption);
      styles.push_back(style);
      return c.answer;
    });
    platform::WindowHandle owner = platform::createStandInWindow(L"Owner", {0, 0, 800, 600});
    ASSERT_EQ(show(owner, true), kProgressShown);
    EXPECT_EQ(platform::sendStandInMessage(gProgressWindow.window, platform::kWmCommand, 99, 0), 1);
    EXPECT_TRUE(texts.empty()) << "another control's command asks nothing";
    EXPECT_EQ(platform::sendStandInMessage(gProgressWindow.window, platform::kWmCommand, 100, 0), 1);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], L"Stop?|Korvane Math Utilities");
    EXPECT_EQ(styles[0], 0x123u);
    EXPECT_EQ(gProgressWindow.cancelled, c.closes);
    platform::StandInWindow w;
    EXPECT_EQ(find(L"KVNPROGRESSWIN", w), !c.closes);
  }
}

}  // namespace
