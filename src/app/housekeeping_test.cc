#include "app/housekeeping.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// "Game_tempYYYYMMDD.log" for the local calendar day `days_back` before now.
std::u16string DatedLog(const std::string& pattern, std::time_t now, int days_back) {
  std::tm day = *std::localtime(&now);
  day.tm_mday -= days_back;
  std::mktime(&day);
  char name[64];
  std::snprintf(name, sizeof name, "%s%04d%02d%02d.log", pattern.c_str(), day.tm_year + 1900, day.tm_mon + 1,
                day.tm_mday);
  return U16(name);
}

TEST(GameBaseName, CutsAtTheLastDot) {
  const struct {
    const char* game_exe;
    const char* base;
  } cases[] = {
      {"Game.exe", "Game"}, {"my.game.exe", "my.game"}, {"Game", ""}, {"", ""}, {".", ""}, {".exe", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GameBaseName(U16(c.game_exe)), U16(c.base)) << c.game_exe;
  }
  EXPECT_EQ(TempCopyPattern(u"Game"), u"Game_temp");
  EXPECT_EQ(TempCopyPattern(u""), u"_temp");
}

TEST(IsTempCopy, NeedsBothTheExtensionAndThePatternCaseSensitively) {
  const struct {
    const char* name;
    const char* pattern;
    bool removed;
  } cases[] = {
      {"Game_temp20170101120000.exe", "Game_temp", true},
      {"Game.exe", "Game_temp", false},
      {"game_temp20170101120000.exe", "Game_temp", false},
      {"Game_temp20170101120000.EXE", "Game_temp", false},
      {"Other_temp1.exe", "_temp", true},
      {"Other.exe", "_temp", false},
      {"xGame_temp.exe", "Game_temp", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsTempCopy(U16(c.name), U16(c.pattern)), c.removed) << c.name;
  }
}

TEST(ScanLogDate, ReadsFieldsOfFixedWidthLikeScanf) {
  const struct {
    const char* text;
    int count, year, month, day;
  } cases[] = {
      {"20170101.log", 3, 2017, 1, 1},
      {"2017011.log", 3, 2017, 1, 1},
      {"ABC.log", 0, 0, 0, 0},
      {"2017.log", 1, 2017, 0, 0},
      {" 2017 1 2.log", 3, 2017, 1, 2},
      {"-0010101.log", 3, -1, 1, 1},
  };
  for (const auto& c : cases) {
    int year = 0, month = 0, day = 0;
    EXPECT_EQ(ScanLogDate(U16(c.text), &year, &month, &day), c.count) << c.text;
    if (c.count == 3) {
      EXPECT_EQ(year, c.year) << c.text;
      EXPECT_EQ(month, c.month) << c.text;
      EXPECT_EQ(day, c.day) << c.text;
    }
  }
}

TEST(IsExpiredDatedLog, RemovesOnlyLogsMoreThanAWeekOld) {
  const std::time_t now = 1700000000;  // a fixed moment; ages are whole local days from it
  const std::u16string pattern = u"Game_temp";
  EXPECT_FALSE(IsExpiredDatedLog(DatedLog("Game_temp", now, 0), pattern, now));
  EXPECT_FALSE(IsExpiredDatedLog(DatedLog("Game_temp", now, 7), pattern, now));
  EXPECT_TRUE(IsExpiredDatedLog(DatedLog("Game_temp", now, 8), pattern, now));
  EXPECT_TRUE(IsExpiredDatedLog(u"Game_temp20170101.log", pattern, now));
  EXPECT_FALSE(IsExpiredDatedLog(DatedLog("Game_temp", now, -30), pattern, now));  // future
  EXPECT_FALSE(IsExpiredDatedLog(u"Game_tempABC.log", pattern, now));
  EXPECT_FALSE(IsExpiredDatedLog(u"Other.log", pattern, now));
  EXPECT_FALSE(IsExpiredDatedLog(u"Game_temp00000101.log", pattern, now));  // year 0 is not > 0
  EXPECT_FALSE(IsExpiredDatedLog(u"Game_temp20170101.txt", pattern, now));
  // The date is read right after the pattern's length, wherever the pattern stands.
  EXPECT_FALSE(IsExpiredDatedLog(u"xGame_temp20170101.log", pattern, now));
  EXPECT_TRUE(IsExpiredDatedLog(u"_temp20170101.log", u"_temp", now));
}

}  // namespace
