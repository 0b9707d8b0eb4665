#include "base/profile_win.h"
#include "base/text_win.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("profile_win_test_" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(dir_);
    path_ = (dir_ / "test.ini").wstring();
  }
  void TearDown() override {
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
  std::wstring path_;
};

TEST_F(ProfileTest, ReadsValuesDefaultsAndTruncates) {
  WriteAll(path_, "[Setting]\r\nVersion=1.2.3\r\nLong=abcdefghij\r\n[run]\r\nn=42\r\n");
  EXPECT_EQ(ReadProfileText(path_, L"Setting", L"Version", L"", 256), L"1.2.3");
  EXPECT_EQ(ReadProfileText(path_, L"Setting", L"Missing", L"dflt", 256), L"dflt");
  EXPECT_EQ(ReadProfileText(path_, L"Nope", L"Version", L"", 256), L"");
  EXPECT_EQ(ReadProfileText(path_, L"Setting", L"Long", L"", 5), L"abcd");
  EXPECT_EQ(ReadProfileText(path_, L"Setting", L"Long", L"", 0), L"");
  EXPECT_EQ(ReadProfileText((dir_ / "absent.ini").wstring(), L"Setting", L"Version", L"x", 8), L"x");
  EXPECT_EQ(ReadProfileNumber(path_, L"run", L"n", 7), 42);
  EXPECT_EQ(ReadProfileNumber(path_, L"run", L"m", 7), 7);
}

TEST_F(ProfileTest, WriteClearsReadOnlyAndLeavesArchiveAttributeAlone) {
  WriteAll(path_, "[Setting]\r\nVersion=1.2.3\r\n");
  ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(WriteProfileText(path_, L"Setting", L"Version", L"1.1.255"));
  EXPECT_EQ(ReadProfileText(path_, L"Setting", L"Version", L"", 256), L"1.1.255");
  DWORD attributes = GetFileAttributesW(path_.c_str());
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_HIDDEN);  // replaced by the archive attribute alone
}

TEST_F(ProfileTest, WriteCreatesMissingFileAndKeepsUtf16Files) {
  ASSERT_TRUE(WriteProfileText(path_, L"current", L"zone", L"Alpha"));
  EXPECT_EQ(ReadProfileText(path_, L"current", L"zone", L"", 64), L"Alpha");

  std::wstring utf16 = (dir_ / "utf16.ini").wstring();
  WriteAll(utf16, std::string("\xFF\xFE", 2));
  ASSERT_TRUE(WriteProfileText(utf16, L"current", L"zone", L"\x4E2D\x6587"));
  std::string bytes = ReadAll(utf16);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE", 2));
  EXPECT_EQ(ReadProfileText(utf16, L"current", L"zone", L"", 64), L"\x4E2D\x6587");
}

TEST(ClearReadOnlyForWrite, MissingFileIsHarmless) {
  ClearReadOnlyForWrite(L"./no_such_dir_for_profile_test/none.ini");
  EXPECT_EQ(GetFileAttributesW(L"./no_such_dir_for_profile_test/none.ini"), INVALID_FILE_ATTRIBUTES);
}

TEST(AnsiConversion, BoundedAtCharacterBoundaries) {
  EXPECT_EQ(WideToAnsiBounded(L"http://host/a", 1024), "http://host/a");
  EXPECT_EQ(WideToAnsiBounded(L"abcdef", 4), "abc");
  EXPECT_EQ(WideToAnsiBounded(L"abc", 1), "");
  EXPECT_EQ(WideToAnsiBounded(L"abc", 0), "");
  std::wstring long_text(3000, L'x');
  EXPECT_EQ(WideToAnsiBounded(long_text, 1024).size(), 1023u);
  EXPECT_EQ(AnsiToWideBounded("link.ini", 301), L"link.ini");
  EXPECT_EQ(AnsiToWideBounded(std::string(400, 'y'), 301).size(), 300u);
}

TEST(CurrentDirectoryBounded, FitsOrEmpty) {
  std::wstring dir = CurrentDirectoryBounded(MAX_PATH);
  EXPECT_FALSE(dir.empty());
  EXPECT_EQ(CurrentDirectoryBounded(2), L"");
}

}  // namespace
