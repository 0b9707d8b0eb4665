#include <gtest/gtest.h>

#include <filesystem>

#include "base/message_catalog_win.h"
#include "base/resource.h"
#include "ui/main_dlg_win.h"
#include "support/ui_test_support_win.h"

using namespace ui_test;

namespace {

class GameLaunchTest : public testing::Test {
 protected:
  void SetUp() override {
    SetInterfaceLanguage(kLangEnglish);
    ASSERT_NE(dialog.Create(IDD_MAIN_DIALOG, owner.hwnd()), nullptr);
    dir = CurrentDirectory();
    log_before = LaunchLog();  // the initialisation's line
  }
  void TearDown() override { DestroyWindow(dialog.hwnd()); }
  std::string NewLog() { return LaunchLog().substr(log_before.size()); }

  ScratchInstall install;
  BoxRecorder boxes;
  RecordingOwner owner;
  ScriptedMainDlg dialog{TestContext()};
  std::wstring dir;
  std::string log_before;
};

TEST_F(GameLaunchTest, OutcomesOfShellAndDirectStart) {
  struct Case {
    INT_PTR shell_result;
    DWORD shell_error;
    bool process_starts;
    bool direct_tried;
    const wchar_t* box;  // null: no box
    const char* log;
  } cases[] = {
      {42, 0, false, false, nullptr, "ShellExecute:42  GetLastError:0  isAdmin:1\r\ntime:95"},
      {2, 2, true, true, nullptr, "ShellExecute:2  GetLastError:2  isAdmin:1\r\ntime:95"},
      {2, 2, false, true, L"Start game failed .\uFF1A文件名不存在",
       "ShellExecute:2  GetLastError:2  isAdmin:1\r\ntime:95"},
      {32, 126, false, true, L"Start game failed .\uFF1ADLL不存在",
       "ShellExecute:32  GetLastError:126  isAdmin:1\r\ntime:95"},
      {0, 8, false, true, L"Start game failed .\uFF1A0 ", "ShellExecute:0  GetLastError:8  isAdmin:1\r\ntime:95"},
      {11, 193, false, true, L"Start game failed .\uFF1A11 ",
       "ShellExecute:11  GetLastError:193  isAdmin:1\r\ntime:95"},
      {33, 0, false, false, nullptr, "ShellExecute:33  GetLastError:0  isAdmin:1\r\ntime:95"},
  };
  for (const Case& c : cases) {
    BoxRecorder recorder;
    RecordingOwner case_owner;
    ScriptedMainDlg d(TestContext());
    ASSERT_NE(d.Create(IDD_MAIN_DIALOG, case_owner.hwnd()), nullptr);
    const std::string before = LaunchLog();
    d.shell = {c.shell_result, c.shell_error};
    d.process_starts = c.process_starts;
    d.admin = 1;
    d.now = 1700000095;

    d.LaunchGame(L"Game.exe");

    ASSERT_EQ(d.shell_calls.size(), 1u);
    EXPECT_EQ(d.shell_calls[0],
              dir + L"\\System\\Game.exe|zone=3&1700000000&d3d9check=1|" + dir + L"/System");
    if (c.direct_tried) {
      ASSERT_EQ(d.process_calls.size(), 1u) << c.shell_result;
      EXPECT_EQ(d.process_calls[0], dir + L"\\System\\Game.exe|\"" + dir +
                                        L"\\System\\Game.exe\" zone=3&1700000000&d3d9check=1|" +
                                        dir + L"/System");
    } else {
      EXPECT_TRUE(d.process_calls.empty()) << c.shell_result;
    }
    if (c.box) {
      ASSERT_EQ(recorder.boxes().size(), 1u) << c.shell_result;
      // A code the reason table lacks is named with the system's description.
      EXPECT_EQ(recorder.boxes()[0].text.substr(0, wcslen(c.box)), c.box);
      if (c.box[wcslen(c.box) - 1] != L' ') {
        EXPECT_EQ(recorder.boxes()[0].text, c.box);
      }
      EXPECT_EQ(recorder.boxes()[0].caption, LoadMessage(IDS_CAPTION));
      EXPECT_EQ(recorder.boxes()[0].owner, d.hwnd());
    } else {
      EXPECT_TRUE(recorder.boxes().empty()) << c.shell_result;
    }
    EXPECT_EQ(LaunchLog().substr(before.size()), c.log);
    EXPECT_EQ(d.launch_time(), 1700000095);
    EXPECT_EQ(d.pauses, std::vector<DWORD>{2000});
    EXPECT_EQ(case_owner.close_count(), 1);
    DestroyWindow(d.hwnd());
  }
}

TEST_F(GameLaunchTest, ReasonTextIsTheSameInChinese) {
  SetInterfaceLanguage(kLangChinese);
  dialog.shell = {2, 2};
  dialog.LaunchGame(L"Game.exe");
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, L"游戏启动失败：文件名不存在");
  EXPECT_EQ(boxes.boxes()[0].caption, L"青石晚钟启动程序");
}

TEST_F(GameLaunchTest, RefusedFirstStartShowsTheFixedTextAndLogsNothing) {
  dialog.first_start = 0;
  dialog.LaunchGame(L"Game.exe");
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, L"Direct3DCreate8 failed.");
  EXPECT_EQ(boxes.boxes()[0].caption, LoadMessage(IDS_CAPTION));
  EXPECT_TRUE(dialog.shell_calls.empty());
  EXPECT_TRUE(dialog.pauses.empty());
  EXPECT_EQ(NewLog(), "");
  EXPECT_EQ(owner.close_count(), 1);
}

TEST_F(GameLaunchTest, UnusableNamesAreNotStarted) {
  struct Case {
    std::wstring name;
    int error;
  } cases[] = {
      {std::wstring(64, L'g'), ERROR_FILENAME_EXCED_RANGE},
      {L"", ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    BoxRecorder recorder;
    RecordingOwner case_owner;
    ScriptedMainDlg d(TestContext());
    ASSERT_NE(d.Create(IDD_MAIN_DIALOG, case_owner.hwnd()), nullptr);
    const std::string before = LaunchLog();
    d.now = 1700000000;
    d.LaunchGame(c.name);
    EXPECT_TRUE(d.shell_calls.empty());
    EXPECT_TRUE(d.process_calls.empty());
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, L"Start game failed .\uFF1A文件名不存在");
    EXPECT_EQ(LaunchLog().substr(before.size()),
              "ShellExecute:2  GetLastError:" + std::to_string(c.error) + "  isAdmin:0\r\ntime:0");
    EXPECT_EQ(case_owner.close_count(), 1);
    DestroyWindow(d.hwnd());
  }
}

TEST_F(GameLaunchTest, SixtyThreeCharacterNameIsStarted) {
  dialog.LaunchGame(std::wstring(59, L'g') + L".exe");
  EXPECT_EQ(dialog.shell_calls.size(), 1u);
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(GameLaunchTest, RealShellAndDirectStartOfAMissingGameFail) {
  dialog.real_shell = true;
  dialog.LaunchGame(L"NoSuchGame.exe");
  ASSERT_EQ(dialog.process_calls.size(), 1u);
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, L"Start game failed .\uFF1A文件名不存在");
  EXPECT_EQ(NewLog().rfind("ShellExecute:2  GetLastError:", 0), 0u) << NewLog();
}

TEST_F(GameLaunchTest, RealDirectStartRunsTheGameInSystem) {
  // The shell is scripted to fail, so the direct start has to do it: a copy
  // of cmd.exe writes its current directory into a file. The installation
  // lies under a folder with a blank, beside a file "x.exe" that an unquoted
  // path without an application name would have the system try first.
  std::filesystem::create_directories("x y/System");
  WriteAll("x.exe", "not a program");
  std::filesystem::current_path("x y");
  wchar_t system_dir[MAX_PATH] = L"";
  GetSystemDirectoryW(system_dir, MAX_PATH);
  ASSERT_TRUE(CopyFileW((std::wstring(system_dir) + L"\\cmd.exe").c_str(), L"System\\Game.exe", FALSE));
  // Only the process start is real here.
  class RealProcessDlg : public ScriptedMainDlg {
   public:
    using ScriptedMainDlg::ScriptedMainDlg;

   protected:
    bool StartProcess(const std::wstring& application, const std::wstring& command_line,
                      const std::wstring& directory) override {
      return CMainDlg::StartProcess(application, command_line, directory);
    }
  };
  RecordingOwner real_owner;
  LaunchContext context;
  context.launch_arguments = u"/c cd > cwd.txt";
  RealProcessDlg real(context);
  real.shell = {31, 1155};
  ASSERT_NE(real.Create(IDD_MAIN_DIALOG, real_owner.hwnd()), nullptr);
  real.LaunchGame(L"Game.exe");
  EXPECT_TRUE(boxes.boxes().empty());
  // The launcher does not keep the game's handle: poll for its output.
  for (int i = 0; i < 200 && ReadAll("System/cwd.txt").empty(); ++i) Sleep(50);
  std::string cwd = ReadAll("System/cwd.txt");
  EXPECT_NE(cwd.find("x y\\System"), std::string::npos) << cwd;
  DestroyWindow(real.hwnd());
}

TEST(IsUserAnAdmin, AnswersZeroOrOne) {
  const int admin = QueryIsUserAnAdmin();
  EXPECT_TRUE(admin == 0 || admin == 1);
}

}  // namespace
