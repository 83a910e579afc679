#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"

TEST(GlobalMemory, MoveableBlockKeepsContentAcrossResize) {
  platform::MemHandle h = platform::memAlloc(4);
  ASSERT_NE(h, nullptr);
  auto* p = static_cast<char*>(platform::memLock(h));
  ASSERT_NE(p, nullptr);
  std::memcpy(p, "abcd", 4);
  // A locked block cannot be resized; unlocked it can, and keeps its bytes.
  EXPECT_EQ(platform::memRealloc(h, 64), nullptr);
  EXPECT_TRUE(platform::memUnlock(h));
  ASSERT_EQ(platform::memRealloc(h, 64), h);
  EXPECT_EQ(platform::memSize(h), 64u);
  p = static_cast<char*>(platform::memLock(h));
  EXPECT_EQ(std::string(p, 4), "abcd");
  EXPECT_EQ(p[63], 0);
  platform::memUnlock(h);
  platform::memFree(h);
  EXPECT_EQ(platform::memLock(h), nullptr);
  EXPECT_FALSE(platform::memUnlock(nullptr));
}
