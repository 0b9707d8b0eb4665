// downloader.exe: brings the installation in the current directory to the
// latest release its operator has published.
//   downloader.exe [--quiet] [--repair]
// --quiet: no window and no box; the exit status and System/download.log
// tell the outcome. --repair: hashes every needed package present and
// fetches the damaged ones again.
#include <windows.h>
#include <shellapi.h>
#include <psapi.h>

#include <atomic>
#include <cwchar>
#include <string>

#include "base/launch_log.h"
#include "base/message_box_win.h"
#include "download/download_engine.h"
#include "download/downloader_win.h"
#include "update/http_transfer.h"
#include "update/tls_server_check_win.h"

namespace {

constexpr char kLogPath[] = "System/download.log";
constexpr uintmax_t kLogKeptBytes = 1 << 20;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  bool quiet = false;
  bool repair = false;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; argv && i < argc; ++i) {
    if (std::wcscmp(argv[i], L"--quiet") == 0) {
      quiet = true;
    } else if (std::wcscmp(argv[i], L"--repair") == 0) {
      repair = true;
    } else {
      if (!quiet) ShowMessageBox(nullptr, L"usage: downloader.exe [--quiet] [--repair]", L"downloader", MB_OK);
      return kExitUsage;
    }
  }
  LocalFree(argv);

  // The log of earlier runs is kept below a size, so that a resumed download
  // shows its whole story.
  SetLaunchLogPath(kLogPath);
  std::error_code ec;
  if (std::filesystem::file_size(kLogPath, ec) > kLogKeptBytes && !ec) LaunchLogReset();
  LaunchLogf("---- download %s%s\n", quiet ? "--quiet" : "", repair ? " --repair" : "");

  const std::string blocker = ClaimDownloaderRun();
  if (!blocker.empty()) {
    LaunchLogf("refused: %s is running\n", blocker.c_str());
    if (!quiet) {
      ShowMessageBox(nullptr, Wide("Close " + blocker + " first, then start the download again."), L"downloader",
                     MB_OK | MB_ICONWARNING);
    }
    return kExitRefused;
  }

  SetTlsServerCheck(&CheckTlsServer);
  DownloadSettings settings = ReadDownloadSettings();
  settings.repair = repair;
  DownloadHooks hooks;
  hooks.write_version = &WriteInstallationVersion;
  std::atomic<bool> stop{false};
  const RunResult result = RunDownload(ReadInstallation(), settings, hooks, stop);
  const std::string text = DescribeResult(result);
  LaunchLogf("result: %s\n", text.c_str());
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  if (K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) {
    LaunchLogf("peak working set: %llu KiB\n", static_cast<unsigned long long>(memory.PeakWorkingSetSize >> 10));
  }
  const bool ok = result.status == RunStatus::kUpToDate || result.status == RunStatus::kUpdated;
  if (!quiet) {
    ShowMessageBox(nullptr, Wide(text), L"downloader", MB_OK | (ok ? MB_ICONINFORMATION : MB_ICONERROR));
  }
  return ok ? kExitDone : kExitFailed;
}
