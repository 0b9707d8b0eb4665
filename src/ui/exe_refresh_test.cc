#include "ui/exe_refresh.h"

#include <gtest/gtest.h>

#include "app/housekeeping.h"

TEST(FallbackExecutableName, FourteenDigitsOfLocalTime) {
  std::tm when = {};
  when.tm_year = 2026 - 1900;
  when.tm_mon = 11;
  when.tm_mday = 6;
  when.tm_hour = 8;
  when.tm_min = 30;
  when.tm_sec = 5;
  EXPECT_EQ(FallbackExecutableName(u"Game", when), u"Game_temp20261206083005.exe");
  EXPECT_EQ(FallbackExecutableName(u"", when), u"_temp20261206083005.exe");
  EXPECT_EQ(FallbackExecutableName(u"青石晚钟", when), u"青石晚钟_temp20261206083005.exe");
  // The start-up clean-up recognises the copy it leaves.
  EXPECT_TRUE(IsTempCopy(FallbackExecutableName(u"Game", when), TempCopyPattern(u"Game")));
}

