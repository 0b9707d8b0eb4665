#include "update/current_zone_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/profile_win.h"
#include "update/current_zone.h"
#include "update/serverlist_download.h"
#include "support/test_dir.h"

namespace {

class CurrentZoneFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char doc[] = "<?xml version=\"1.0\"?><l v=\"1\"><z n=\"Nord\xC3\xA9\" p=\"0\"/><z n=\"B\"/></l>";
    ASSERT_TRUE(ParseServerListDocument(doc, sizeof(doc) - 1, list_));
    list_.current_version = 12003;
    path_ = (dir_ / "currentzone.ini").wstring();
  }
  TestDir dir_;
  ServerList list_;
  std::wstring path_;
};

TEST_F(CurrentZoneFileTest, NewFileIsUtf16WithZoneAndVersion) {
  list_.current_zone = list_.zones[0].get();
  ASSERT_TRUE(SaveCurrentZone(list_, path_.c_str()));
  const std::string bytes = ReadAll(path_);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(ReadSavedZone(path_.c_str()), u"Nord\u00e9");
  EXPECT_EQ(ReadProfileText(path_, L"current", L"version", L"", 32), L"12003");
}

TEST_F(CurrentZoneFileTest, ReadOnlyFileIsMadeWritableAndUpdated) {
  list_.current_zone = list_.zones[0].get();
  ASSERT_TRUE(SaveCurrentZone(list_, path_.c_str()));
  SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
  list_.current_zone = list_.zones[1].get();
  ASSERT_TRUE(SaveCurrentZone(list_, path_.c_str()));
  EXPECT_EQ(ReadSavedZone(path_.c_str()), u"B");
  EXPECT_EQ(GetFileAttributesW(path_.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(CurrentZoneFileTest, NoCurrentZoneWritesNoValues) {
  EXPECT_FALSE(SaveCurrentZone(list_, path_.c_str()));
  EXPECT_EQ(ReadAll(path_), "\xFF\xFE");
  EXPECT_EQ(ReadSavedZone(path_.c_str()), u"");
}

TEST_F(CurrentZoneFileTest, TheWholeFileIsReplacedInOneStep) {
  // A file left by an older run with the keys in another order and a stray
  // temporary beside it: afterwards exactly the two keys, nothing left over.
  WriteAll(path_, "\xFF\xFE" "v\0=\0" "1\0");
  WriteAll(path_ + L".tmp", "leftover");
  list_.current_zone = list_.zones[1].get();
  ASSERT_TRUE(SaveCurrentZone(list_, path_.c_str()));
  EXPECT_EQ(ReadAll(path_), CurrentZoneFileBytes(u"B", 12003));
  EXPECT_FALSE(std::filesystem::exists(path_ + L".tmp"));
}

TEST_F(CurrentZoneFileTest, AFileThatCannotBeReplacedKeepsItsContent) {
  list_.current_zone = list_.zones[0].get();
  ASSERT_TRUE(SaveCurrentZone(list_, path_.c_str()));
  const std::string before = ReadAll(path_);
  // Another process holds the file open without sharing.
  HANDLE held = CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  list_.current_zone = list_.zones[1].get();
  EXPECT_FALSE(SaveCurrentZone(list_, path_.c_str()));
  CloseHandle(held);
  EXPECT_EQ(ReadAll(path_), before);
  EXPECT_FALSE(std::filesystem::exists(path_ + L".tmp"));
}

TEST_F(CurrentZoneFileTest, SavedZoneIsReadUpTo63Characters) {
  ASSERT_TRUE(WriteProfileText(path_, L"current", L"zone", std::wstring(80, L'z')));
  EXPECT_EQ(ReadSavedZone(path_.c_str()), std::u16string(63, u'z'));
  EXPECT_EQ(ReadSavedZone((dir_ / "absent.ini").wstring().c_str()), u"");
}

}  // namespace
