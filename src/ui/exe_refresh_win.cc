// The refresh of the game executable: RefreshExecutable and
// CMainDlg::RefreshGameExe.
#include "ui/exe_refresh_win.h"

#include <windows.h>

#include <cstdio>
#include <ctime>

#include "base/launch_log.h"
#include "base/message_box_win.h"
#include "base/message_catalog_win.h"
#include "base/profile_win.h"
#include "base/resource.h"
#include "base/text.h"
#include "base/text_win.h"
#include "package/qvk_archive.h"
#include "serverlist/server_list.h"
#include "ui/exe_refresh.h"
#include "ui/main_dlg_win.h"
#include "update/exe_source.h"
#include "update/updater_win.h"

namespace {

const DWORD kFallbackSettleMs = 200;
const size_t kExeKeyBytes = 256;  // with the terminator

// The patch package of `version`, or none.
QvkArchivePtr OpenPackage(VersionNumber version) {
  const std::string path = PatchPackagePath(version);
  return QvkArchivePtr(QvkOpen(std::u16string(path.begin(), path.end()).c_str()));
}

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm result = {};
  if (const std::tm* local = std::localtime(&now)) result = *local;
  return result;
}

}  // namespace

std::wstring ReadGameExeName() {
  return ReadProfileText(CurrentDirectory() + L"\\updatecfg.ini", L"run", L"game_exe", L"",
                         kGameExeNameChars + 1);
}

ExeRefreshResult RefreshExecutable(const std::wstring& exe_name, VersionNumber current_version,
                                   VersionNumber base_version, PatchListIndex* index,
                                   ManifestSource manifest) {
  ExeRefreshResult result;
  result.launch_name = exe_name;
  const int current = static_cast<int>(current_version);

  QvkArchivePtr package = OpenPackage(current_version);
  if (!package) {
    const DWORD error = GetLastError();
    LaunchLogf("Open qvk failed:%d GetLastError:%d\n", current, static_cast<int>(error));
    // As if the window had read the list itself: it has none.
    if (manifest == ManifestSource::kTakenOver) *index = PatchListIndex();
    result.ok = true;  // the installed executable is started unchanged
    return result;
  }
  LaunchLogf("Open qvk success:%d\n", current);

  if (manifest == ManifestSource::kRead) {
    std::string text;
    if (QvkReadAll(package.get(), u"PatchList.txt", &text) != 0) return result;
    if (!ParsePatchList(std::move(text), PatchListMode::kWindow, index, nullptr)) {
      std::puts("data error");
      return result;
    }
  }

  const std::u16string upper_name = AsciiUpper(ToU16(exe_name));
  const std::string key = WideToAnsiBounded(ToWide(upper_name), kExeKeyBytes);
  const ExeSource source = ChooseExeSource(*index, key, base_version);
  if (!source.in_manifest) {
    result.ok = true;  // the installed executable is current
    return result;
  }

  const VersionNumber version = source.version;
  LaunchLogf("ExeInVer:%d\n", static_cast<int>(version));
  if (!source.from_package) {
    // The base installation's copy is the newest: no package of that version
    // exists (the clean-up deletes such packages).
    result.ok = true;
    return result;
  }
  if (version != current_version) {
    package.reset();  // one package open at a time
    package = OpenPackage(version);
    if (!package) {
      LaunchLogf("Open qvk failed:%d\n", static_cast<int>(version));
      return result;
    }
    LaunchLogf("Open qvk success:%d\n", static_cast<int>(version));
  }

  // The entry goes to a fresh copy under the fallback name first, so a disk
  // that fills up or a process killed half-way never leaves a truncated
  // executable; the start-up clean-up removes a copy left behind. A complete
  // copy then replaces the executable in one step, or, when the running game
  // holds the executable, is started itself.
  const std::u16string fallback =
      FallbackExecutableName(GameBaseName(ToU16(exe_name)), LocalNow());
  const std::wstring copy = L"System/" + ToWide(fallback);
  if (QvkExtract(package.get(), upper_name.c_str(), ToU16(copy).c_str()) != 0) {
    DeleteFileW(copy.c_str());
    return result;  // the installed executable stays as it was: message 271
  }
  const std::wstring target = L"System/" + exe_name;
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_ARCHIVE);
  }
  if (!MoveFileExW(copy.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    Sleep(kFallbackSettleMs);
    result.launch_name = ToWide(fallback);
  }
  result.ok = true;
  return result;
}

void CMainDlg::RefreshGameExe() {
  // The worker, waiting in its send, is done with the manifest it read from
  // the same package: the window takes it over instead of reading it again.
  ZUpdater* worker = Updater();
  const ManifestSource manifest = worker && worker->TakeManifest(&window_index_)
                                      ? ManifestSource::kTakenOver
                                      : ManifestSource::kRead;
  const ExeRefreshResult refreshed =
      RefreshExecutable(ReadGameExeName(), GlobalServerList().current_version,
                        GlobalServerList().base_version, &window_index_, manifest);
  if (!refreshed.ok) {
    ShowMessageBox(hwnd_, LoadMessage(IDS_UNZIP_ERROR), LoadMessage(IDS_CAPTION), MB_OK);
    CloseLauncher();
    return;
  }
  LaunchGame(refreshed.launch_name);
}
