#include "download/downloader_win.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/instance_marker_win.h"
#include "base/owners_win.h"
#include "base/profile_win.h"
#include "base/text_win.h"
#include "package/release_index.h"
#include "update/http_transfer.h"
#include "ui/launch_arguments.h"
#include "update/program_swap.h"
#include "update/version_win.h"

namespace {

constexpr wchar_t kSettingsSection[] = L"download";

int Setting(const wchar_t* key, int fallback, int low, int high) {
  return std::clamp(ReadProfileNumber(kUpdateConfigIni, kSettingsSection, key, fallback), low, high);
}

// Room for the most keys a role may have; a longer value is refused, not cut.
constexpr size_t kKeyListChars = 4096;
static_assert(kMaxKeysPerRole * 89 < kKeyListChars);

// One role's keys: the ones adopted from a rotation (update.ini [Download])
// when `adopted_first` and present, else the operator's (updatecfg.ini
// [trust]). False with `problem` set when a value is no list of keys.
bool ReadKeys(bool adopted_first, const wchar_t* adopted_key, const wchar_t* shipped_key,
              std::vector<EcPublicKey>* keys, std::string* problem) {
  std::wstring text =
      adopted_first ? ReadProfileText(kUpdateIni, L"Download", adopted_key, L"", kKeyListChars) : L"";
  std::wstring where = std::wstring(L"update.ini [Download] ") + adopted_key;
  if (text.find_first_not_of(L" \t") == std::wstring::npos) {
    text = ReadProfileText(kUpdateConfigIni, L"trust", shipped_key, L"", kKeyListChars);
    where = std::wstring(L"updatecfg.ini [trust] ") + shipped_key;
  }
  std::string error;
  const std::string narrow(text.begin(), text.end());  // base64 is ASCII; anything else is refused below
  const bool ascii = std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x80; });
  if (text.size() + 1 >= kKeyListChars || !ascii || !ParsePublicKeyList(narrow, keys, &error)) {
    *problem = std::string(where.begin(), where.end()) + ": " + (error.empty() ? "not a list of keys" : error);
    return false;
  }
  return true;
}

}  // namespace

namespace {

// The download program's semaphore, once taken.
UniqueHandle& DownloaderMarker() {
  static UniqueHandle marker;
  return marker;
}

}  // namespace

Blocker ClaimDownloaderRun() {
  if (!DownloaderMarker()) {
    HANDLE held = nullptr;
    if (!TakeInstanceMarker(kDownloaderSemaphore, &held)) return Blocker::kDownloader;
    DownloaderMarker().reset(held);
  }
  if (NamedSemaphoreExists(kGameRunningSemaphore)) return Blocker::kGame;
  if (NamedSemaphoreExists(kInstanceSemaphore)) return Blocker::kLauncher;
  // Alone now: what a swap of the programs left may be tidied (this
  // program's own old copy too, once it no longer runs).
  DiskSwapFiles files(0);
  std::error_code ec;
  const std::filesystem::path here = std::filesystem::current_path(ec);
  if (!ec) TidyPrograms(files, here);
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
  // The keys of the newer source: those a rotation adopted, unless a full
  // client installed since ships keys of a later serial.
  const uint64_t adopted_serial = ReadSerial(kUpdateIni, L"Download", L"KeysSerial");
  const uint64_t shipped_serial = ReadSerial(kUpdateConfigIni, L"trust", L"serial");
  const bool adopted_first = adopted_serial >= shipped_serial;
  state.keys_serial = std::max(adopted_serial, shipped_serial);
  if (!ReadKeys(adopted_first, L"Root", L"root", &state.keys.root, &state.keys_problem) ||
      !ReadKeys(adopted_first, L"Release", L"release", &state.keys.release, &state.keys_problem)) {
    state.keys = TrustedKeys();
  }
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

bool WriteAdoptedKeys(const TrustedKeys& keys, uint64_t keys_serial, uint64_t index_serial) {
  const std::string root = PublicKeyListText(keys.root);
  const std::string release = PublicKeyListText(keys.release);
  return ReplaceUpdateIniValues({{L"Download", L"Root", std::wstring(root.begin(), root.end())},
                                 {L"Download", L"Release", std::wstring(release.begin(), release.end())},
                                 {L"Download", L"KeysSerial", std::to_wstring(keys_serial)},
                                 {L"Download", L"Serial", std::to_wstring(index_serial)}});
}

void ReleaseDownloaderRun() { DownloaderMarker().reset(); }

bool WaitForProcessEnd(DWORD pid, DWORD timeout_ms) {
  UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (!process) return true;  // ended already (or never was)
  return WaitForSingleObject(process.get(), timeout_ms) == WAIT_OBJECT_0;
}

DWORD StartLauncherAfterDownload(const std::wstring& command_text) {
  std::vector<wchar_t> full(MAX_PATH + 1);
  const DWORD length = GetFullPathNameW(L"launcher.exe", static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return ERROR_FILENAME_EXCED_RANGE;
  // The launcher reads the text after its name as the front end gave it.
  const std::string flag = kAfterDownloadFlag;
  std::wstring command = L"\"" + std::wstring(full.data()) + L"\" " + std::wstring(flag.begin(), flag.end()) +
                         (command_text.empty() ? L"" : L" " + command_text);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(full.data(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return GetLastError();
  }
  UniqueHandle thread(process.hThread);
  UniqueHandle started(process.hProcess);
  return ERROR_SUCCESS;
}
