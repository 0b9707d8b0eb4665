#include "update/exe_source.h"

#include <gtest/gtest.h>

namespace {

TEST(ChooseExeSource, RecordAboveTheBaseNamesItsPackage) {
  PatchListIndex index;
  ASSERT_TRUE(ParsePatchList(
      "GAME.EXE\tGame.exe\t10002\nOLD.EXE\tOld.exe\t10000\nZERO.EXE\tZero.exe\t0\n",
      PatchListMode::kWindow, &index, nullptr));
  struct Case {
    const char* key;
    bool in_manifest;
    bool from_package;
  };
  const Case cases[] = {
      {"GAME.EXE", true, true},
      {"OLD.EXE", true, false},   // at the base: the installed copy
      {"ZERO.EXE", true, false},
      {"Game.exe", false, false}, // looked up exactly as given
      {"NONE.EXE", false, false},
  };
  for (const Case& c : cases) {
    const ExeSource source = ChooseExeSource(index, c.key, 10000);
    EXPECT_EQ(source.in_manifest, c.in_manifest) << c.key;
    EXPECT_EQ(source.from_package, c.from_package) << c.key;
  }
  EXPECT_EQ(ChooseExeSource(index, "GAME.EXE", 10000).version, 10002u);
  EXPECT_FALSE(ChooseExeSource(index, "GAME.EXE", 10002).from_package);
}

}  // namespace
