#include "ui/game_launch.h"

#include <gtest/gtest.h>

TEST(GameLaunchPaths, FormsPathDirectoryAndCommandLine) {
  EXPECT_EQ(GamePath(u"C:\\Game", u"Game.exe"), u"C:\\Game\\System\\Game.exe");
  EXPECT_EQ(GameDirectory(u"C:\\Game"), u"C:\\Game/System");
  EXPECT_EQ(DirectStartCommandLine(u"C:\\My Game\\System\\Game.exe", u"zone=3&1700000000&d3d9check=1"),
            u"\"C:\\My Game\\System\\Game.exe\" zone=3&1700000000&d3d9check=1");
}

TEST(GameLaunchPaths, LaunchNameLimit) {
  EXPECT_FALSE(LaunchNameUsable(u""));
  EXPECT_TRUE(LaunchNameUsable(u"a"));
  EXPECT_TRUE(LaunchNameUsable(std::u16string(63, u'a')));
  EXPECT_FALSE(LaunchNameUsable(std::u16string(64, u'a')));
}

TEST(LaunchFailureReason, Table) {
  struct Case {
    int64_t code;
    const char16_t* reason;
  } cases[] = {
      {2, u"文件名不存在"},
      {3, u"路径名不存在"},
      {5, u"拒绝访问"},
      {8, u"内存不足"},
      {26, u"发生共享错误"},
      {27, u"文件名不完全或无效"},
      {28, u"超时"},
      {29, u"DDE 事务失败"},
      {30, u"正在处理其他 DDE 事务而不能完成该 DDE 事务"},
      {31, u"没有相关联的应用程序"},
      {32, u"DLL不存在"},
      {0, u""}, {1, u""}, {4, u""}, {11, u""}, {33, u""}, {-2, u""}, {0x100000002LL, u""},
  };
  for (const Case& c : cases) EXPECT_EQ(LaunchFailureReason(c.code), c.reason) << c.code;
}

TEST(LaunchFailureText, JoinsWithFullWidthColonOrIsEmpty) {
  EXPECT_EQ(LaunchFailureText(u"Start game failed .", 32), u"Start game failed .\uFF1ADLL不存在");
  EXPECT_EQ(LaunchFailureText(u"游戏启动失败", 2), u"游戏启动失败：文件名不存在");
  // Codes without a reason text name the code and the system's description.
  EXPECT_EQ(LaunchFailureText(u"游戏启动失败", 0), u"游戏启动失败：0");
  EXPECT_EQ(LaunchFailureText(u"Start game failed .", 11, u"Bad format."),
            u"Start game failed .\uFF1A11 Bad format.");
  EXPECT_EQ(LaunchFailureText(u"Start game failed .", 2, u"ignored"),
            u"Start game failed .\uFF1A文件名不存在");
}

TEST(ElapsedWholeSeconds, TruncatesTowardZero) {
  EXPECT_EQ(ElapsedWholeSeconds(1000.0, 1095.9), 95);
  EXPECT_EQ(ElapsedWholeSeconds(1000.0, 1000.0), 0);
  EXPECT_EQ(ElapsedWholeSeconds(1000.0, 999.5), 0);  // a clock set back
  EXPECT_EQ(ElapsedWholeSeconds(1000.0, 998.0), -2);
}
