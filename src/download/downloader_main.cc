// downloader.exe: brings the installation in the current directory to the
// latest release its operator has published.
//   downloader.exe [--quiet] [--repair] [--close-when-done]
// --quiet: no window; the exit status and System/download.log tell the
// outcome. --repair: hashes every needed package present and fetches the
// damaged ones again. --close-when-done: the window closes as soon as the
// game is up to date, for scripts that start the game next.
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

int RunQuiet(const DownloadSettings& settings) {
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
  return ok ? kExitDone : kExitFailed;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  bool quiet = false;
  WindowOptions options;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; argv && i < argc; ++i) {
    if (std::wcscmp(argv[i], L"--quiet") == 0) {
      quiet = true;
    } else if (std::wcscmp(argv[i], L"--repair") == 0) {
      options.settings.repair = true;
    } else if (std::wcscmp(argv[i], L"--close-when-done") == 0) {
      options.close_when_done = true;
    } else {
      if (!quiet) {
        ShowMessageBox(nullptr, L"usage: downloader.exe [--quiet] [--repair] [--close-when-done]", L"downloader",
                       MB_OK);
      }
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
  LaunchLogf("---- download%s%s%s\n", quiet ? " --quiet" : "", options.settings.repair ? " --repair" : "",
             options.close_when_done ? " --close-when-done" : "");

  SetTlsServerCheck(&CheckTlsServer);
  const bool repair = options.settings.repair;
  options.settings = ReadDownloadSettings();
  options.settings.repair = repair;
  int status = kExitFailed;
  if (quiet) {
    status = RunQuiet(options.settings);
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
