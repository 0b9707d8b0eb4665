#include "download/downloader_win.h"

#include <windows.h>

#include <algorithm>

#include "base/instance_marker_win.h"
#include "base/profile_win.h"
#include "base/text_win.h"
#include "package/release_index.h"
#include "update/http_transfer.h"
#include "update/version_win.h"

namespace {

constexpr wchar_t kSettingsSection[] = L"download";

int Setting(const wchar_t* key, int fallback, int low, int high) {
  return std::clamp(ReadProfileNumber(kUpdateConfigIni, kSettingsSection, key, fallback), low, high);
}

}  // namespace

Blocker ClaimDownloaderRun() {
  static bool held = false;
  if (!held) {
    if (!TakeInstanceMarker(kDownloaderSemaphore)) return Blocker::kDownloader;
    held = true;
  }
  if (NamedSemaphoreExists(kGameRunningSemaphore)) return Blocker::kGame;
  if (NamedSemaphoreExists(kInstanceSemaphore)) return Blocker::kLauncher;
  return Blocker::kNone;
}

const char* BlockerName(Blocker blocker) {
  switch (blocker) {
    case Blocker::kGame: return "the game";
    case Blocker::kLauncher: return "a launcher";
    case Blocker::kDownloader: return "another download program";
    case Blocker::kNone: break;
  }
  return "nothing";
}

InstallationState ReadInstallation() {
  InstallationState state;
  state.root = std::filesystem::current_path();
  state.server_list_base_url = ReadServerListBaseUrl(kMaxUrlBytes + 1);
  state.base_version = ReadBaseVersion();
  state.current_version = ReadCurrentVersion();
  state.highest_serial = ReadIndexSerial();
  return state;
}

DownloadSettings ReadDownloadSettings() {
  DownloadSettings s;
  s.parallel = Setting(L"parallel", 2, 1, 8);
  s.fetch.max_bytes_per_second = static_cast<int64_t>(Setting(L"max_kbps", 0, 0, 1 << 20)) * 1024;
  s.fetch.stall_seconds = Setting(L"stall_seconds", 30, 2, 600);
  s.fetch.connect_timeout_ms = static_cast<long>(Setting(L"connect_timeout_seconds", 15, 1, 120)) * 1000;
  s.fetch.proxy = WideToAnsiBounded(ReadProfileText(kUpdateConfigIni, kSettingsSection, L"proxy", L"", 1024), 1024);
  return s;
}

bool WriteInstallationVersion(VersionNumber latest, uint64_t serial) {
  return RaiseUpdateIni(IndexVersionText(latest), serial);
}
