#include "hardware/level_table_source.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "hardware/graphics_level.h"
#include "package/qvk_writer.h"

namespace {

namespace fs = std::filesystem;

// UTF-16LE bytes of `text`, as the game data stores the table.
std::string Utf16Le(const std::u16string& text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

// Runs each test in an installation directory of its own with a System folder.
class PackagedLevelTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_dir_ = fs::current_path();
    dir_ = fs::path(::testing::TempDir()) /
           ("hw_level_source_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::error_code error;
    fs::remove_all(dir_, error);
    fs::create_directories(dir_ / "System");
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(old_dir_);
    std::error_code error;
    fs::remove_all(dir_, error);
  }
  static void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static void WriteArchive(const std::string& path, const std::u16string& entry,
                           const std::u16string& table) {
    WriteFile(path, QvkBuildArchive({{entry, Utf16Le(table)}}));
  }

  fs::path old_dir_;
  fs::path dir_;
};

const std::u16string kBaseTable = u"\uFEFFName\tLevel\r\nGeForce\t1\r\n";
const std::u16string kPatchTable = u"\uFEFFName\tLevel\r\nGeForce\t2\r\nRadeon\t3\r\n";

TEST_F(PackagedLevelTableTest, PatchPackageWhenManifestVersionAboveBase) {
  WriteArchive("System/GameData.qvk", u"BaseData/GraphicsLevel.ini", kBaseTable);
  WriteArchive("System/Verpatch00012.qvk", u"gamedata/BaseData/GraphicsLevel.ini", kPatchTable);
  const LevelTable expected = {{u"geforce", 2}, {u"radeon", 3}};
  EXPECT_EQ(LoadPackagedLevelTable(12, 11), expected);
  EXPECT_FALSE(fs::exists(kLevelTableTempPath));
}

TEST_F(PackagedLevelTableTest, BaseArchiveOtherwise) {
  WriteArchive("System/GameData.qvk", u"BaseData/GraphicsLevel.ini", kBaseTable);
  WriteArchive("System/Verpatch00012.qvk", u"gamedata/BaseData/GraphicsLevel.ini", kPatchTable);
  const LevelTable expected = {{u"geforce", 1}};
  for (uint32_t patch : {0u, 11u, 12u}) {
    EXPECT_EQ(LoadPackagedLevelTable(patch, 12), expected) << patch;
    EXPECT_FALSE(fs::exists(kLevelTableTempPath)) << patch;
  }
}

TEST_F(PackagedLevelTableTest, MissingArchiveOrEntryGivesEmptyTable) {
  EXPECT_TRUE(LoadPackagedLevelTable(0, 0).empty());
  WriteArchive("System/GameData.qvk", u"BaseData/Other.ini", kBaseTable);
  EXPECT_TRUE(LoadPackagedLevelTable(0, 0).empty());
  EXPECT_FALSE(fs::exists(kLevelTableTempPath));
}

TEST_F(PackagedLevelTableTest, EmptyEntryGivesEmptyTable) {
  WriteArchive("System/GameData.qvk", u"BaseData/GraphicsLevel.ini", u"");
  EXPECT_TRUE(LoadPackagedLevelTable(0, 0).empty());
  EXPECT_FALSE(fs::exists(kLevelTableTempPath));
}

TEST_F(PackagedLevelTableTest, LeftOverFileIsReadAndRemovedEvenIfReadOnly) {
  WriteFile(kLevelTableTempPath, Utf16Le(u"h\nRadeon\t2\n"));
  fs::permissions(kLevelTableTempPath, fs::perms::owner_write | fs::perms::group_write |
                                           fs::perms::others_write,
                  fs::perm_options::remove);
  const LevelTable expected = {{u"radeon", 2}};
  EXPECT_EQ(LoadPackagedLevelTable(0, 0), expected);
  EXPECT_FALSE(fs::exists(kLevelTableTempPath));
}

TEST(LevelTablePatchVersion, LooksUpTheUpperCaseKey) {
  PatchListIndex index;
  EXPECT_EQ(LevelTablePatchVersion(index), 0u);
  // Worker mode keeps the keys as written.
  const std::string near_misses = "GRAPHICSLEVEL.INIX\tx\t7\ngraphicslevel.ini\ty\t8\n";
  ASSERT_TRUE(ParsePatchList(near_misses.c_str(), PatchListMode::kWorker, &index, nullptr));
  EXPECT_EQ(LevelTablePatchVersion(index), 0u);
  ASSERT_TRUE(ParsePatchList(
      (near_misses + "GRAPHICSLEVEL.INI\tgamedata/BaseData/GraphicsLevel.ini\t12003\n").c_str(),
      PatchListMode::kWorker, &index, nullptr));
  EXPECT_EQ(LevelTablePatchVersion(index), 12003u);
}

}  // namespace
