#include "base/message_catalog_win.h"
#include "base/resource.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

class MessageCatalogTest : public ::testing::Test {
 protected:
  void TearDown() override { SetInterfaceLanguage(kLangChinese); }
};

TEST_F(MessageCatalogTest, TextsComeInTheChosenLanguageExactly) {
  const struct {
    unsigned id;
    const wchar_t* english;
    const wchar_t* chinese;
  } cases[] = {
      {IDS_CAPTION, L"Velmaranthos start", L"青石晚钟启动程序"},
      {IDS_GAME_RUNNING,
       L"There is already a game is starting up or running,whether to continue to open the game?(Opening "
       L"multiple games at the same time can lead to performance degradation)",
       L"已经有一个游戏正在启动或运行中，是否继续开启游戏？ (同时开启多个游戏可能导致性能下降)"},
      {IDS_LAUNCHER_NOT_EXITED,
       L"Launch.exe is not normal exit, please exit from the manager to update, and then rerun the automatic "
       L"upgrade program!",
       L"程序检测到青石晚钟.exe更新程序没有正常退出，请从管理器退出更新程序，然后重新运行自动升级程序！"},
      {IDS_UNZIP_ERROR,
       L"Game start failed[unzip error],may be game process is not completely closed,please wait.You can "
       L"also close the game process in task manager.",
       L"游戏启动失败[解压出错]."},
      {IDS_FIRST_START_HIGHEST,
       L"First start game,according to your computer configuration,automatically set the video game "
       L"configuration: [highest]",
       L"首次启动游戏，根据您的电脑配置，自动设置游戏视频配置为：【极佳】"},
      {IDS_UNCOMPRESS_ERROR, L"Uncompress  file %s error,please check disk space", L"解压文件%s出错，请检查磁盘空间"},
      {IDS_PACKAGES_MISSING, L"Miss update packges, please restart the program updates", L"缺少更新包%s，请重新启动"},
      {IDS_RUN_GAME, L"Please run \"Velmaranthos.exe\"", L"请运行“青石晚钟.exe”"},
      {IDS_OFFER_UPDATE_TOO_OLD,
       L"The current version is too old for the game's server. Update the game now? The download program brings "
       L"it up to date and then starts it.",
       L"当前版本太旧，服务器已不支持。现在更新游戏吗？下载更新程序会将游戏更新到最新版本，然后启动游戏。"},
      {IDS_OFFER_UPDATE_MISSING,
       L"Update packages are missing (%s). Update the game now? The download program brings it up to date and "
       L"then starts it.",
       L"缺少更新包%s。现在更新游戏吗？下载更新程序会将游戏更新到最新版本，然后启动游戏。"},
      {IDS_GRAPHICS_CHECK_FAILED, L"Can't run game, please update driver or didn't meet the minimun requirements",
       L"您的电脑配置无法正常运行游戏，请先尝试升级驱动，若游戏仍旧无法运行，则可能是您的电脑配置没有达到游戏的"
       L"最低配置要求。"},
  };
  for (const auto& c : cases) {
    SetInterfaceLanguage(kLangEnglish);
    EXPECT_EQ(LoadMessage(c.id), c.english) << c.id;
    SetInterfaceLanguage(kLangChinese);
    EXPECT_EQ(LoadMessage(c.id), c.chinese) << c.id;
  }
}

TEST_F(MessageCatalogTest, MissingTextsFallBackOrComeEmpty) {
  SetInterfaceLanguage(kLangChinese);
  EXPECT_EQ(LoadMessage(IDS_UPDATE), L"update");
  for (unsigned id : {0u, 129u, 265u, 288u, 296u, 4000u, 65535u, 70000u}) {
    EXPECT_EQ(LoadMessage(id), L"") << id;
  }
  SetInterfaceLanguage(kLangEnglish);
  EXPECT_EQ(LoadMessage(IDS_READY), L"Ready");
  EXPECT_EQ(LoadMessage(265), L"");
}

TEST_F(MessageCatalogTest, PlaceholderOnlyInTheChineseTextOf293) {
  SetInterfaceLanguage(kLangChinese);
  EXPECT_EQ(FormatMessageText(LoadMessage(IDS_PACKAGES_MISSING).c_str(), L"1.2.3 1.2.4"), L"缺少更新包1.2.3 1.2.4，请重新启动");
  SetInterfaceLanguage(kLangEnglish);
  EXPECT_EQ(FormatMessageText(LoadMessage(IDS_PACKAGES_MISSING).c_str(), L"1.2.3 1.2.4"),
            L"Miss update packges, please restart the program updates");
  EXPECT_EQ(FormatMessageText(LoadMessage(IDS_UPDATE_COMPLETE_VERSION).c_str(), 10203), L"Updata complete,(local version V10203)");
  EXPECT_EQ(FormatMessageText(std::wstring(3000, L'x').c_str()).size(), 1023u);
}

}  // namespace
