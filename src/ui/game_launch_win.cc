// The start of the game: CMainDlg::LaunchGame and the system calls it makes.
#include <windows.h>
#include <shellapi.h>

#include <ctime>
#include <vector>

#include "base/launch_log.h"
#include "base/message_box_win.h"
#include "base/message_catalog_win.h"
#include "base/resource.h"
#include "base/text_win.h"
#include "ui/game_launch.h"
#include "ui/main_dlg_win.h"

namespace {

const wchar_t kFirstStartRefused[] = L"Direct3DCreate8 failed.";

// The system's description of an error code in the interface language (or
// the system's default one), without its line end; empty if it has none.
std::wstring SystemErrorText(DWORD code) {
  wchar_t text[512] = {};
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  DWORD n = FormatMessageW(flags, nullptr, code, CurrentLanguage(), text, 512, nullptr);
  if (n == 0) n = FormatMessageW(flags, nullptr, code, 0, text, 512, nullptr);
  if (n >= 512) n = 511;
  while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) --n;
  return std::wstring(text, n);
}

}  // namespace

int QueryIsUserAnAdmin() {
  // Loaded once; the module stays loaded for the rest of the process.
  static HMODULE shell32 = LoadLibraryW(L"shell32.dll");
  if (!shell32) return 1;
  using IsUserAnAdminFn = BOOL(WINAPI*)();
  auto is_admin = reinterpret_cast<IsUserAnAdminFn>(
      reinterpret_cast<void*>(GetProcAddress(shell32, "IsUserAnAdmin")));
  if (!is_admin) return 1;
  return is_admin() ? 1 : 0;
}

void CMainDlg::LaunchGame(const std::wstring& name) {
  const std::u16string working_dir = ToU16(CurrentDirectory());
  if (RunFirstStartCheck() == 0) {
    ShowMessageBox(hwnd_, kFirstStartRefused, LoadMessage(IDS_CAPTION), MB_OK);
    CloseLauncher();
    return;
  }

  const std::u16string directory = GameDirectory(working_dir);
  const std::u16string path = GamePath(working_dir, ToU16(name));
  ShellOutcome shell;
  bool started = false;
  if (LaunchNameUsable(ToU16(name))) {
    shell = ShellOpen(ToWide(path), ToWide(launch_arguments()), ToWide(directory));
    // The full path as the application name: the system never searches for
    // a program named by the path's first words ("C:\Program.exe").
    started = shell.result > 32 ||
              StartProcess(ToWide(path), ToWide(DirectStartCommandLine(path, launch_arguments())),
                           ToWide(directory));
  } else {
    // Empty, or too long for the launch name buffer: reported as a file that
    // does not exist rather than opening the folder or a cut name.
    shell.result = SE_ERR_FNF;
    shell.last_error = name.empty() ? ERROR_FILE_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE;
  }
  if (!started) {
    const std::u16string text =
        LaunchFailureText(ToU16(LoadMessage(IDS_START_FAILED)), shell.result,
                          ToU16(SystemErrorText(static_cast<DWORD>(shell.result))));
    ShowMessageBox(hwnd_, ToWide(text), LoadMessage(IDS_CAPTION), MB_OK);
  }

  const int admin = IsAdministrator();
  LaunchLogf("ShellExecute:%d  GetLastError:%d  isAdmin:%d\n", static_cast<int>(shell.result),
             static_cast<int>(shell.last_error), admin);
  launch_time_ = Now();
  LaunchLogf("time:%d", ElapsedWholeSeconds(static_cast<double>(start_time_),
                                            static_cast<double>(launch_time_)));
  Pause(2000);
  CloseLauncher();
}

CMainDlg::ShellOutcome CMainDlg::ShellOpen(const std::wstring& path, const std::wstring& parameters,
                                           const std::wstring& directory) {
  // ShellExecuteW's open, with the shell's own error dialog suppressed: the
  // player is told once, by the reason box owned by this dialog.
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = path.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = directory.c_str();
  info.nShow = SW_SHOWNORMAL;
  ShellExecuteExW(&info);
  ShellOutcome outcome;
  outcome.last_error = GetLastError();
  outcome.result = reinterpret_cast<INT_PTR>(info.hInstApp);
  return outcome;
}

bool CMainDlg::StartProcess(const std::wstring& application, const std::wstring& command_line,
                            const std::wstring& directory) {
  // CreateProcessW may write into the command line: give it a copy.
  std::vector<wchar_t> line(command_line.begin(), command_line.end());
  line.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                      &startup, &process)) {
    return false;
  }
  // The launcher does not watch the game.
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

int CMainDlg::IsAdministrator() { return QueryIsUserAnAdmin(); }

int64_t CMainDlg::Now() { return static_cast<int64_t>(std::time(nullptr)); }

void CMainDlg::Pause(DWORD milliseconds) { Sleep(milliseconds); }
