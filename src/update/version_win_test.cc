#include "update/version_win.h"

#include <gtest/gtest.h>

#include <set>

#include "base/profile_win.h"
#include "support/test_support_win.h"
#include "update/updater_win.h"

namespace {

using updater_test::ReadAll;
using updater_test::ScratchInstall;
using updater_test::StandInDialog;
using updater_test::WriteAll;
namespace fs = std::filesystem;

std::wstring UpdateIniVersion() { return ReadProfileText(kUpdateIni, L"Setting", L"Version", L"", 256); }

void TouchPackage(VersionNumber v) { WriteAll(PatchPackagePath(v), "qvk"); }

// A worker that is never started: its steps run on the test thread, so its
// sends reach the stand-in dialog directly and its posts wait in this
// thread's queue.
class VersionStepsTest : public ::testing::Test {
 protected:
  void SetUp() override { GlobalServerList() = ServerList(); }
  void SetVersions(VersionNumber current, VersionNumber base) {
    GlobalServerList().current_version = current;
    GlobalServerList().base_version = base;
  }
  // Kinds of the UM_UPDATE_ERROR posts so far.
  std::vector<WPARAM> ErrorKinds() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    std::vector<WPARAM> kinds;
    for (const auto& e : dialog_.events()) {
      if (e.message == UM_UPDATE_ERROR) kinds.push_back(e.wparam);
    }
    return kinds;
  }
  std::set<std::string> SystemFiles() {
    std::set<std::string> names;
    for (auto& entry : fs::directory_iterator("System")) names.insert(entry.path().filename().string());
    names.erase("launch.log");
    return names;
  }

  ScratchInstall install_;
  StandInDialog dialog_;
  ZUpdater worker_{dialog_.hwnd()};
};

TEST_F(VersionStepsTest, ReadVersionsFromBothFilesAndLogsTheBase) {
  WriteAll("update.ini", "[Setting]\r\nVersion=1.2.3\r\n");
  WriteAll("updatecfg.ini", "[run]\r\nbase_version=0*9*1\r\n");
  ReadVersions(GlobalServerList());
  EXPECT_EQ(GlobalServerList().current_version, 12003u);
  EXPECT_EQ(GlobalServerList().base_version, 9001u);
  EXPECT_NE(ReadAll("System/launch.log").find("base version:09001\r\n"), std::string::npos);
}

TEST_F(VersionStepsTest, ReadVersionsFromUtf16FilesAndMissingOnesReadZero) {
  // A UTF-16LE update.ini (as the profile functions write one that starts FF FE).
  std::u16string text = u"\xFEFF[Setting]\r\nVersion=1.2\r\n";
  WriteAll("update.ini", std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));
  ReadVersions(GlobalServerList());
  EXPECT_EQ(GlobalServerList().current_version, 12000u);
  EXPECT_EQ(GlobalServerList().base_version, 0u);
}

TEST_F(VersionStepsTest, CurrentPackageMissingRewindsTo255AndReportsKind8) {
  WriteAll("update.ini", "[Setting]\r\nVersion=1.2.0\r\n");
  SetFileAttributesW(L"update.ini", FILE_ATTRIBUTE_READONLY);
  SetVersions(12000, 11000);
  const std::optional<PackageCheckResult> missing = CheckCurrentPackage();
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->missing_text, "1.2.0");
  EXPECT_EQ(UpdateIniVersion(), L"1.1.255");
  EXPECT_FALSE(GetFileAttributesW(L"update.ini") & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(ErrorKinds().empty());  // the step sends nothing; the worker reports
  worker_.ReportMissingPackages(*missing);
  EXPECT_STREQ(worker_.missing_version_text(), L"1.2.0");
  EXPECT_EQ(ErrorKinds(), std::vector<WPARAM>{kUpdateErrorMissingPackages});
  EXPECT_EQ(dialog_.events()[0].lparam, 0);
  EXPECT_EQ(GlobalServerList().current_version, 12000u);  // memory is not rewound
}

TEST_F(VersionStepsTest, CurrentPackagePresentOrNotNeeded) {
  WriteAll("update.ini", "[Setting]\r\nVersion=1.2.3\r\n");
  TouchPackage(12003);
  SetVersions(12003, 12000);
  EXPECT_FALSE(CheckCurrentPackage());
  SetVersions(12000, 12000);  // equal to base: not looked for
  EXPECT_FALSE(CheckCurrentPackage());
  EXPECT_EQ(UpdateIniVersion(), L"1.2.3");
  EXPECT_TRUE(ErrorKinds().empty());
}

TEST_F(VersionStepsTest, ManifestPackagesMissingListAllAndRewindBelowTheLowest) {
  WriteAll("update.ini", "[Setting]\r\nVersion=1.2.3\r\n");
  SetVersions(12003, 12000);
  TouchPackage(12001);
  const std::optional<PackageCheckResult> missing = CheckPackages({12001, 12002, 12003});
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->missing_text, "1.2.2, 1.2.3");
  EXPECT_EQ(UpdateIniVersion(), L"1.2.1");
}

TEST_F(VersionStepsTest, CleanPackagesDeletesExactlyTheStaleOnes) {
  SetVersions(12003, 12000);
  for (VersionNumber v : {11999u, 12000u, 12001u, 12002u, 12003u, 12004u}) TouchPackage(v);
  WriteAll("System/verpatch11990.qvk", "lower-case name: never judged");
  WriteAll("System/System.qvk", "base");
  WriteAll("System/GameData.qvk", "base");
  SetFileAttributesW(L"System/Verpatch12000.qvk", FILE_ATTRIBUTE_READONLY);  // stays: deletion fails
  EXPECT_FALSE(CleanPackages({12001, 12003}));
  const std::set<std::string> expected = {"GameData.qvk",      "System.qvk",
                                          "Verpatch12000.qvk", "Verpatch12001.qvk",
                                          "Verpatch12003.qvk", "Verpatch12004.qvk",
                                          "verpatch11990.qvk"};
  EXPECT_EQ(SystemFiles(), expected);
}

TEST_F(VersionStepsTest, CleanPackagesWithAMissingPackageDeletesNothing) {
  WriteAll("update.ini", "[Setting]\r\nVersion=1.2.3\r\n");
  SetVersions(12003, 12000);
  for (VersionNumber v : {11999u, 12002u, 12003u}) TouchPackage(v);
  const std::optional<PackageCheckResult> missing = CleanPackages({12001, 12003});
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->missing_text, "1.2.1");
  EXPECT_EQ(SystemFiles(), (std::set<std::string>{"Verpatch11999.qvk", "Verpatch12002.qvk",
                                                  "Verpatch12003.qvk"}));
  EXPECT_EQ(UpdateIniVersion(), L"1.2.0");
}

TEST_F(VersionStepsTest, CleanPackagesWithoutADirectoryStillGoesOn) {
  SetVersions(12003, 12000);
  fs::remove_all("System");
  EXPECT_FALSE(CleanPackages({}));  // nothing to delete, nothing missing: ready
}

}  // namespace
