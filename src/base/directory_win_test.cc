#include "base/directory_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "support/test_dir.h"

namespace {

TEST(MatchesExtension, TheNameOrItsShortNameEndsInIt) {
  const struct {
    ListedFile file;
    bool exe;
  } cases[] = {
      {{u"Game.exe", u""}, true},
      {{u"GAME.EXE", u""}, true},
      {{u"Game_temp20170101120000.exe1", u"GAME_T~1.EXE"}, true},
      {{u"Game_temp20170101120000.exe.bak", u"GAME_T~1.BAK"}, false},
      {{u"Gameexe", u""}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesExtension(c.file, u".exe"), c.exe);
}

TEST(ListFiles, FilesOnlyWithTheirShortNames) {
  TestDir dir;
  std::filesystem::create_directory(dir / "Verpatch12001.qvk");
  std::ofstream(dir / "Game_temp20170101120000.exe1") << "x";
  std::ofstream(dir / "a.txt") << "x";
  const std::optional<std::vector<ListedFile>> files = ListFiles(dir.path().wstring());
  ASSERT_TRUE(files.has_value());
  ASSERT_EQ(files->size(), 2u);
  const auto long_one = std::find_if(files->begin(), files->end(), [](const ListedFile& f) {
    return f.name == u"Game_temp20170101120000.exe1";
  });
  ASSERT_NE(long_one, files->end());
  EXPECT_TRUE(MatchesExtension(*long_one, u".exe")) << "through its 8.3 name";

  EXPECT_FALSE(ListFiles((dir / "missing").wstring()).has_value());
}

}  // namespace
