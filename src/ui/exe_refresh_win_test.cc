#include "ui/exe_refresh_win.h"

#include <gtest/gtest.h>

#include <regex>

#include "base/message_catalog_win.h"
#include "base/resource.h"
#include "package/qvk_writer.h"
#include "serverlist/server_list.h"
#include "support/ui_test_support_win.h"

using namespace ui_test;

namespace {

const char kNewExe[] = "new executable bytes";
const char kOldExe[] = "installed executable";
const VersionNumber kBase = 10;

void WritePackage(int version, const std::vector<std::pair<std::u16string, std::string>>& entries) {
  char name[64];
  std::snprintf(name, sizeof name, "System/Verpatch%05d.qvk", version);
  WriteAll(name, QvkBuildArchive(entries));
}

class ExeRefreshTest : public testing::Test {
 protected:
  void SetUp() override { WriteAll("System/Game.exe", kOldExe); }
  std::string Log() { return LaunchLog(); }

  ScratchInstall install;
  PatchListIndex index;
};

TEST_F(ExeRefreshTest, NoCurrentPackageStartsTheInstalledExecutable) {
  ExeRefreshResult r = RefreshExecutable(L"Game.exe", 12, kBase, &index);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.launch_name, L"Game.exe");
  EXPECT_EQ(Log(), "Open qvk failed:12 GetLastError:2\r\n");
  EXPECT_EQ(ReadAll("System/Game.exe"), kOldExe);
}

TEST_F(ExeRefreshTest, FailureRows) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::u16string, std::string>> current;  // package 12
    bool with_package_11;
    const char* log;
    const char* printed;  // on standard output
  } cases[] = {
      {"no patch list", {{u"GAME.EXE", kNewExe}}, true, "Open qvk success:12\r\n", ""},
      {"malformed patch list", {{u"PatchList.txt", "GAME.EXE\tGame.exe\r\n"}}, true,
       "Open qvk success:12\r\n", "data error\n"},
      {"package of the executable missing", {{u"PatchList.txt", "GAME.EXE\tGame.exe\t11\r\n"}}, false,
       "Open qvk success:12\r\nExeInVer:11\r\nOpen qvk failed:11\r\n", ""},
  };
  for (const Case& c : cases) {
    ScratchInstall fresh;
    WriteAll("System/Game.exe", kOldExe);
    WritePackage(12, c.current);
    if (c.with_package_11) WritePackage(11, {{u"GAME.EXE", kNewExe}});
    PatchListIndex fresh_index;
    testing::internal::CaptureStdout();
    ExeRefreshResult r = RefreshExecutable(L"Game.exe", 12, kBase, &fresh_index);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed) << c.name;
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_EQ(LaunchLog(), c.log) << c.name;
    EXPECT_EQ(ReadAll("System/Game.exe"), kOldExe) << c.name;
  }
}

TEST_F(ExeRefreshTest, AManifestTakenFromTheWorkerIsNotReadAgain) {
  // The package's own manifest would fail the refresh; the one the worker
  // read (parsed in worker mode, lower-case key) is the one used.
  WritePackage(12, {{u"PatchList.txt", "GAME.EXE\tGame.exe\r\n"}, {u"GAME.EXE", kNewExe}});
  std::vector<int32_t> versions;
  ASSERT_TRUE(ParsePatchList("game.exe\tGame.exe\t12\n", PatchListMode::kWorker, &index, &versions));
  index.UseWindowKeys();
  ExeRefreshResult r = RefreshExecutable(L"Game.exe", 12, kBase, &index, ManifestSource::kTakenOver);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(Log(), "Open qvk success:12\r\nExeInVer:12\r\n");
  EXPECT_EQ(ReadAll("System/Game.exe"), kNewExe);

  // A current package the window cannot open leaves the window without a
  // manifest, as when it read the list itself.
  ScratchInstall without_package;
  WriteAll("System/Game.exe", kOldExe);
  EXPECT_TRUE(RefreshExecutable(L"Game.exe", 12, kBase, &index, ManifestSource::kTakenOver).ok);
  EXPECT_EQ(index.record_count(), 0u);
}

TEST_F(ExeRefreshTest, WithoutATakenOverManifestThePackagesOwnIsRead) {
  WritePackage(12, {{u"PatchList.txt", "GAME.EXE\tGame.exe\r\n"}, {u"GAME.EXE", kNewExe}});
  // Without it the package's manifest is read, as before.
  WriteAll("System/Game.exe", kOldExe);
  EXPECT_FALSE(RefreshExecutable(L"Game.exe", 12, kBase, &index).ok);
  EXPECT_EQ(ReadAll("System/Game.exe"), kOldExe);
}

TEST_F(ExeRefreshTest, ExecutableNotListedKeepsTheInstalledFile) {
  WritePackage(12, {{u"PatchList.txt", "GRAPHICSLEVEL.INI\tgamedata/BaseData/GraphicsLevel.ini\t12\r\n"},
                    {u"GAME.EXE", kNewExe}});
  ExeRefreshResult r = RefreshExecutable(L"Game.exe", 12, kBase, &index);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.launch_name, L"Game.exe");
  EXPECT_EQ(Log(), "Open qvk success:12\r\n");
  EXPECT_EQ(ReadAll("System/Game.exe"), kOldExe);
  // The window-side index stays loaded for the graphics level choice.
  const std::optional<PatchListEntry> level = index.Find("GRAPHICSLEVEL.INI");
  ASSERT_TRUE(level.has_value());
  EXPECT_EQ(level->version, 12u);
}

TEST_F(ExeRefreshTest, CurrentPackageServesTheExecutableWithOneOpen) {
  WritePackage(12, {{u"PatchList.txt", "game.exe\tGame.exe\t12\r\n"}, {u"GAME.EXE", kNewExe}});
  ExeRefreshResult r = RefreshExecutable(L"game.exe", 12, kBase, &index);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.launch_name, L"game.exe");
  EXPECT_EQ(Log(), "Open qvk success:12\r\nExeInVer:12\r\n");
  EXPECT_EQ(ReadAll("System/Game.exe"), kNewExe);
}

TEST_F(ExeRefreshTest, OlderPackageNamedByThePatchListIsOpened) {
  WritePackage(12, {{u"PatchList.txt", "GAME.EXE\tGame.exe\t11\r\n"}, {u"GAME.EXE", "wrong copy"}});
  WritePackage(11, {{u"Game.exe", kNewExe}});
  SetFileAttributesW(L"System/Game.exe", FILE_ATTRIBUTE_READONLY);
  ExeRefreshResult r = RefreshExecutable(L"Game.exe", 12, kBase, &index);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(Log(), "Open qvk success:12\r\nExeInVer:11\r\nOpen qvk success:11\r\n");
  EXPECT_EQ(ReadAll("System/Game.exe"), kNewExe);
  EXPECT_FALSE(GetFileAttributesW(L"System/Game.exe") & FILE_ATTRIBUTE_READONLY);
}

TEST_F(ExeRefreshTest, HeldExecutableIsReplacedByAFallbackCopy) {
  WritePackage(12, {{u"PatchList.txt", "GAME.EXE\tGame.exe\t12\r\n"}, {u"GAME.EXE", kNewExe}});
  HANDLE held = CreateFileW(L"System/Game.exe", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ExeRefreshResult r = RefreshExecutable(L"Game.exe", 12, kBase, &index);
  CloseHandle(held);
  EXPECT_TRUE(r.ok);
  const std::string name = WideToUtf8(r.launch_name);
  EXPECT_TRUE(std::regex_match(name, std::regex("Game_temp[0-9]{14}\\.exe"))) << name;
  EXPECT_EQ(ReadAll("System/" + name), kNewExe);
  EXPECT_EQ(ReadAll("System/Game.exe"), kOldExe);
  EXPECT_EQ(Log(), "Open qvk success:12\r\nExeInVer:12\r\n");
}

// The executable is never left half-written: an entry that cannot be
// extracted whole leaves the installed file and no copy behind.
TEST_F(ExeRefreshTest, IncompleteExtractionKeepsTheInstalledExecutable) {
  // The manifest names the executable, but its package lacks the entry.
  WritePackage(12, {{u"PatchList.txt", "GAME.EXE\tGame.exe\t12\r\n"}});
  ExeRefreshResult r = RefreshExecutable(L"Game.exe", 12, kBase, &index);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(ReadAll("System/Game.exe"), kOldExe);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(L"System\\Game_temp*", &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE) << WideToUtf8(found.cFileName);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

TEST_F(ExeRefreshTest, RecordNotAboveTheBaseMeansTheInstalledExecutableIsCurrent) {
  for (const char* version : {"0", "10", "9"}) {
    ScratchInstall fresh;
    WriteAll("System/Game.exe", kOldExe);
    WritePackage(12, {{u"PatchList.txt", std::string("GAME.EXE\tGame.exe\t") + version + "\r\n"},
                      {u"GAME.EXE", kNewExe}});
    PatchListIndex fresh_index;
    ExeRefreshResult r = RefreshExecutable(L"Game.exe", 12, kBase, &fresh_index);
    EXPECT_TRUE(r.ok) << version;
    EXPECT_EQ(r.launch_name, L"Game.exe") << version;
    EXPECT_EQ(LaunchLog(), std::string("Open qvk success:12\r\nExeInVer:") + version + "\r\n");
    EXPECT_EQ(ReadAll("System/Game.exe"), kOldExe) << version;
  }
}

TEST_F(ExeRefreshTest, GameExeNameComesFromUpdatecfg) {
  EXPECT_EQ(ReadGameExeName(), L"");
  WriteAll("updatecfg.ini", "[run]\r\ngame_exe=Game.exe\r\n");
  EXPECT_EQ(ReadGameExeName(), L"Game.exe");
  WriteAll("updatecfg.ini", "[run]\r\ngame_exe=" + std::string(300, 'x') + "\r\n");
  EXPECT_EQ(ReadGameExeName().size(), 255u);
}

TEST_F(ExeRefreshTest, DialogShows271AndClosesOnAFailureRow) {
  SetInterfaceLanguage(kLangEnglish);
  WriteAll("updatecfg.ini", "[run]\r\ngame_exe=Game.exe\r\n");
  WritePackage(12, {{u"GAME.EXE", kNewExe}});  // no patch list
  GlobalServerList().current_version = 12;
  BoxRecorder boxes;
  RecordingOwner owner;
  ScriptedMainDlg dialog(TestContext());
  ASSERT_NE(dialog.Create(IDD_MAIN_DIALOG, owner.hwnd()), nullptr);
  dialog.RefreshGameExe();
  GlobalServerList().current_version = 0;
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, LoadMessage(IDS_UNZIP_ERROR));
  EXPECT_EQ(boxes.boxes()[0].caption, LoadMessage(IDS_CAPTION));
  EXPECT_TRUE(dialog.shell_calls.empty());
  EXPECT_EQ(owner.close_count(), 1);
  DestroyWindow(dialog.hwnd());
}

}  // namespace
