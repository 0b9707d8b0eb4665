// downloader.exe: brings the installation in the current directory to the
// latest release its operator has published.
//   downloader.exe [--quiet] [--repair] [--close-when-done]
//                  [--then-start-launcher --wait-for=PID --launcher-args=TEXT]
// --quiet: no window; the exit status and System/download.log tell the
// outcome. --repair: hashes every needed package present and fetches the
// damaged ones again. --close-when-done: the window closes as soon as the
// game is up to date, for scripts that start the game next.
// --then-start-launcher: started by a launcher that offered the update (PID):
// waits up to 15 s for it to end, and once the game is up to date starts
// launcher.exe --after-download TEXT, TEXT being what that launcher was given.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <psapi.h>

#include <atomic>
#include <cwchar>
#include <filesystem>
#include <string>

#include "base/launch_log.h"
#include "base/message_box_win.h"
#include "download/download_engine.h"
#include "download/downloader_win.h"
#include "download/downloader_window_win.h"
#include "ui/interface_language_win.h"
#include "update/http_transfer.h"
#include "update/tls_server_check_win.h"

namespace {

constexpr char kLogPath[] = "System/download.log";
constexpr uintmax_t kLogKeptBytes = 1 << 20;

constexpr DWORD kLauncherEndWaitMs = 15000;
constexpr wchar_t kUsage[] =
    L"usage: downloader.exe [--quiet] [--repair] [--close-when-done] "
    L"[--then-start-launcher --wait-for=PID --launcher-args=TEXT]";

int RunQuiet(const WindowOptions& options) {
  const DownloadSettings& settings = options.settings;
  const Blocker blocker = ClaimDownloaderRun();
  if (blocker != Blocker::kNone) {
    LaunchLogf("refused: %s is running\n", BlockerName(blocker));
    return kExitRefused;
  }
  DownloadHooks hooks;
  hooks.write_version = &WriteInstallationVersion;
  hooks.adopt_keys = &WriteAdoptedKeys;
  std::atomic<bool> stop{false};
  const RunResult result = RunDownload(ReadInstallation(), settings, hooks, stop);
  LaunchLogf("result: %s\n", DescribeResult(result).c_str());
  const bool ok = result.status == RunStatus::kUpToDate || result.status == RunStatus::kUpdated;
  if (ok && options.then_start_launcher) {
    ReleaseDownloaderRun();
    const DWORD error = StartLauncherAfterDownload(options.launcher_args);
    LaunchLogf("start launcher.exe: %lu\n", static_cast<unsigned long>(error));
    if (error != ERROR_SUCCESS) return kExitFailed;
  }
  return ok ? kExitDone : kExitFailed;
}

// "--name=VALUE" -> VALUE, when `arg` starts with "--name=".
bool OptionValue(const wchar_t* arg, const wchar_t* name, std::wstring* value) {
  const size_t length = std::wcslen(name);
  if (std::wcsncmp(arg, name, length) != 0 || arg[length] != L'=') return false;
  *value = arg + length + 1;
  return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  bool quiet = false;
  WindowOptions options;
  DWORD wait_for = 0;  // the launcher that started this program
  std::wstring value;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; argv && i < argc; ++i) {
    if (std::wcscmp(argv[i], L"--quiet") == 0) {
      quiet = true;
    } else if (std::wcscmp(argv[i], L"--repair") == 0) {
      options.settings.repair = true;
    } else if (std::wcscmp(argv[i], L"--close-when-done") == 0) {
      options.close_when_done = true;
    } else if (std::wcscmp(argv[i], L"--then-start-launcher") == 0) {
      options.then_start_launcher = true;
    } else if (OptionValue(argv[i], L"--wait-for", &value) && value.size() < 11 &&
               value.find_first_not_of(L"0123456789") == std::wstring::npos && !value.empty()) {
      wait_for = static_cast<DWORD>(std::stoull(value));
    } else if (OptionValue(argv[i], L"--launcher-args", &value)) {
      options.launcher_args = value;
    } else {
      if (!quiet) ShowMessageBox(nullptr, kUsage, L"downloader", MB_OK);
      LocalFree(argv);
      return kExitUsage;
    }
  }
  LocalFree(argv);

  // The log of earlier runs is kept below a size, so that a resumed download
  // shows its whole story.
  SetLaunchLogPath(kLogPath);
  std::error_code ec;
  if (std::filesystem::file_size(kLogPath, ec) > kLogKeptBytes && !ec) LaunchLogReset();
  LaunchLogf("---- download%s%s%s%s\n", quiet ? " --quiet" : "", options.settings.repair ? " --repair" : "",
             options.close_when_done ? " --close-when-done" : "",
             options.then_start_launcher ? " --then-start-launcher" : "");

  if (wait_for != 0) {
    // The launcher that offered the update closes as it starts this program.
    const bool ended = WaitForProcessEnd(wait_for, kLauncherEndWaitMs);
    LaunchLogf("the launcher (process %lu) %s\n", static_cast<unsigned long>(wait_for),
               ended ? "has ended" : "still runs after 15 s");
  }
  SetTlsServerCheck(&CheckTlsServer);
  const bool repair = options.settings.repair;
  options.settings = ReadDownloadSettings();
  options.settings.repair = repair;
  int status = kExitFailed;
  if (quiet) {
    status = RunQuiet(options);
  } else {
    ChooseInterfaceLanguage();
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    status = RunDownloaderWindow(instance, options);
    if (SUCCEEDED(com)) CoUninitialize();
  }
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  if (K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) {
    LaunchLogf("peak working set: %llu KiB\n", static_cast<unsigned long long>(memory.PeakWorkingSetSize >> 10));
  }
  return status;
}
