#include "app/housekeeping_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "base/launch_log.h"

namespace {

// A scratch installation directory that is the working directory for the test.
class InstallationDir {
 public:
  InstallationDir() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    dir_ = std::wstring(temp) + L"housekeeping_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir_.c_str(), nullptr);
    CreateDirectoryW((dir_ + L"\\System").c_str(), nullptr);
    GetCurrentDirectoryW(MAX_PATH, old_);
    SetCurrentDirectoryW(dir_.c_str());
  }
  ~InstallationDir() {
    SetCurrentDirectoryW(old_);
    Remove(dir_);
  }
  void Touch(const std::wstring& name, const std::string& content = "x") {
    std::ofstream(std::filesystem::path(dir_ + L"\\" + name), std::ios::binary) << content;
  }
  bool Exists(const std::wstring& name) const {
    return GetFileAttributesW((dir_ + L"\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

 private:
  static void Remove(const std::wstring& dir) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          Remove(dir + L"\\" + name);
        } else {
          DeleteFileW((dir + L"\\" + name).c_str());
        }
      } while (FindNextFileW(find, &data));
      FindClose(find);
    }
    RemoveDirectoryW(dir.c_str());
  }
  std::wstring dir_;
  wchar_t old_[MAX_PATH];
};

std::wstring DatedName(const std::wstring& prefix, int days_back) {
  std::time_t now = std::time(nullptr);
  std::tm day = *std::localtime(&now);
  day.tm_mday -= days_back;
  std::mktime(&day);
  wchar_t name[128];
  swprintf(name, 128, L"%ls%04d%02d%02d.log", prefix.c_str(), day.tm_year + 1900, day.tm_mon + 1, day.tm_mday);
  return name;
}

TEST(Housekeeping, FirstCleanupRemovesSideFilesAndLogsTheUninstaller) {
  InstallationDir inst;
  inst.Touch(L"System\\link.ini");
  inst.Touch(L"System\\asynload.ini");
  inst.Touch(L"System\\other.ini");
  inst.Touch(L"uninst.exe");
  LaunchLogReset();
  RunFirstCleanup();
  EXPECT_FALSE(inst.Exists(L"System\\link.ini"));
  EXPECT_FALSE(inst.Exists(L"System\\asynload.ini"));
  EXPECT_TRUE(inst.Exists(L"System\\other.ini"));
  std::ifstream log("System\\launch.log", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "uninst exist:1\r\n");
}

TEST(Housekeeping, SecondCleanupRemovesCopiesAndOldDatedLogsOnly) {
  InstallationDir inst;
  inst.Touch(L"updatecfg.ini", "[run]\r\ngame_exe=Game.exe\r\n");
  const std::vector<std::wstring> removed = {L"System\\Game_temp20170101120000.exe",
                                             L"System\\Game_temp20170101.log",
                                             // "*.exe" lists it through its 8.3 name
                                             L"System\\Game_temp20170101120000.exe1",
                                             L"System\\" + DatedName(L"Game_temp", 8)};
  const std::vector<std::wstring> kept = {L"System\\Game.exe",         L"System\\Other.log",
                                          L"System\\Game_tempABC.log", L"System\\" + DatedName(L"Game_temp", 7),
                                          L"System\\" + DatedName(L"Game_temp", 0),
                                          L"System\\Other_temp1.exe",  L"Game_temp20170101120000.exe",
                                          L"System\\Game_temp20170101120000.exe.bak",
                                          L"System\\Game_temp20170101.log.old"};
  for (const auto& name : removed) inst.Touch(name);
  for (const auto& name : kept) inst.Touch(name);
  RunSecondCleanup();
  for (const auto& name : removed) EXPECT_FALSE(inst.Exists(name)) << name.size();
  for (const auto& name : kept) EXPECT_TRUE(inst.Exists(name)) << name.size();
}

TEST(Housekeeping, GameExeWithoutDotRemovesEveryTempCopy) {
  InstallationDir inst;
  inst.Touch(L"updatecfg.ini", "[run]\r\ngame_exe=Game\r\n");
  inst.Touch(L"System\\Game_temp20170101120000.exe");
  inst.Touch(L"System\\Other_temp.exe");
  inst.Touch(L"System\\Game.exe");
  RunSecondCleanup();
  EXPECT_FALSE(inst.Exists(L"System\\Game_temp20170101120000.exe"));
  EXPECT_FALSE(inst.Exists(L"System\\Other_temp.exe"));
  EXPECT_TRUE(inst.Exists(L"System\\Game.exe"));
}

TEST(Housekeeping, MissingConfigurationAndDirectoriesAreHarmless) {
  InstallationDir inst;
  RemoveDirectoryW(L"System");
  RunFirstCleanup();
  RunSecondCleanup();
  EXPECT_FALSE(inst.Exists(L"System"));
}

}  // namespace
