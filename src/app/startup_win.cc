#include "app/startup_win.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <ctime>
#include <filesystem>

#include "app/housekeeping_win.h"
#include "base/owners_win.h"
#include "base/resource.h"
#include "ui/layer_dlg_win.h"
#include "ui/interface_language_win.h"
#include "ui/launch_arguments.h"
#include "update/program_swap.h"
#include "base/launch_log.h"
#include "base/message_box_win.h"
#include "base/message_catalog_win.h"
#include "base/profile_win.h"
#include "base/text_win.h"

const wchar_t kGameExecutable[] = L"青石晚钟.exe";

namespace {


void MakeDpiAware() {
  const UniqueModule user32(LoadLibraryW(L"user32.dll"));
  if (!user32) return;
  using SetAwareFn = BOOL(WINAPI*)();
  if (auto set_aware = reinterpret_cast<SetAwareFn>(
          reinterpret_cast<void*>(GetProcAddress(user32.get(), "SetProcessDPIAware")))) {
    set_aware();
  }
}

int Box(unsigned text_id, UINT type) {
  return ShowMessageBox(nullptr, LoadMessage(text_id), LoadMessage(IDS_CAPTION), type);
}

// Returns true when this is the only launcher. Otherwise brings the other
// one's window forward (or tells the player it hangs) and returns false.
bool ClaimSingleInstance() {
  if (TakeInstanceMarker(kInstanceSemaphore)) return true;
  if (HWND other = FindMarkedLauncherWindow()) {
    if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
    SetForegroundWindow(other);
    return false;
  }
  Box(IDS_LAUNCHER_NOT_EXITED, MB_OK);
  return false;
}

}  // namespace

void StartLaunchLog(std::time_t start) {
  // A read-only log would refuse every line of the run.
  ClearReadOnlyForWrite(AnsiToWide(LaunchLogPath()));
  LaunchLogReset();
  char line[64] = "";
  if (const std::tm* local = std::localtime(&start)) {
    std::strftime(line, sizeof line, "%Y/%m/%d %X\n", local);
  }
  LaunchLogWrite(line);
}

HWND FindMarkedLauncherWindow() {
  for (HWND window = GetWindow(GetDesktopWindow(), GW_CHILD); window && IsWindow(window);
       window = GetWindow(window, GW_HWNDNEXT)) {
    if (GetPropW(window, kLauncherWindowProperty)) return window;
  }
  return nullptr;
}

int RunLauncher(HINSTANCE, const char* command_text, const WindowRunner& run_window) {
  std::string text = command_text ? command_text : "";
  // Started by the download program after an update: the rest is the text
  // the game's front end gave the launcher that offered the update.
  const bool after_download = TakeAfterDownloadFlag(&text);
  if (text.empty()) {
    ShellExecuteW(nullptr, L"Open", kGameExecutable, nullptr, nullptr, SW_SHOWNORMAL);
    return 0;
  }

  const std::time_t start = std::time(nullptr);
  StartLaunchLog(start);
  RunFirstCleanup();
  MakeDpiAware();
  ChooseInterfaceLanguage();

  if (NamedSemaphoreExists(kGameRunningSemaphore)) {
    LaunchLogWrite("game is running\n");
    if (Box(IDS_GAME_RUNNING, MB_YESNO) == IDNO) {
      LaunchLogWrite("launch exit\n");
      return 0;
    }
  }
  if (NamedSemaphoreExists(kDownloaderSemaphore)) {
    Box(IDS_DOWNLOADER_RUNNING, MB_OK);
    return 0;
  }
  if (!ClaimSingleInstance()) return 0;

  RunSecondCleanup();
  // What a swap of the programs left: a program missing beside its old copy
  // gets it back, the old copies go.
  DiskSwapFiles files(0);
  std::error_code here_error;
  const std::filesystem::path here = std::filesystem::current_path(here_error);
  if (!here_error) TidyPrograms(files, here);

  CoInitialize(nullptr);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) {
    const DWORD error = GetLastError();
    CoUninitialize();
    return static_cast<int>(error);
  }
  LocalFree(argv);

  LaunchContext context;
  context.start_time = static_cast<int64_t>(start);
  context.command_text = ToU16(AnsiToWide(text));
  context.after_download = after_download;
  if (after_download) LaunchLogWrite("started by the download program after an update\n");
  context.launch_arguments = BuildLaunchArguments(context.command_text, context.start_time);

  const int result = run_window ? run_window(context) : 1;
  CoUninitialize();
  return result;
}
