#include "app/housekeeping_win.h"

#include <windows.h>

#include <ctime>

#include "app/housekeeping.h"
#include "base/launch_log.h"
#include "base/directory_win.h"
#include "base/text_win.h"

namespace {

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void RunFirstCleanup() {
  const std::wstring dir = CurrentDirectory();
  for (const wchar_t* name : {L"\\System\\link.ini", L"\\System\\asynload.ini"}) {
    const std::wstring path = dir + name;
    if (FileExists(path)) DeleteFileW(path.c_str());
  }
  LaunchLogf("uninst exist:%d\n", FileExists(dir + L"\\uninst.exe") ? 1 : 0);
}

void RunSecondCleanup() {
  const std::wstring dir = CurrentDirectory();
  // The value is read into a 256-unit buffer; longer values arrive cut.
  wchar_t game_exe[256] = L"";
  GetPrivateProfileStringW(L"run", L"game_exe", L"", game_exe, 256, (dir + L"\\updatecfg.ini").c_str());
  const std::u16string pattern = TempCopyPattern(GameBaseName(ToU16(game_exe)));
  const std::wstring system = dir + L"\\System";

  // One listing serves both kinds of leftovers.
  const std::optional<std::vector<ListedFile>> files = ListFiles(system);
  if (!files) return;
  const std::time_t now = std::time(nullptr);
  for (const ListedFile& file : *files) {
    const bool leftover =
        (MatchesExtension(file, u".exe") && IsTempCopy(file.name, pattern)) ||
        (MatchesExtension(file, u".log") && IsExpiredDatedLog(file.name, pattern, now));
    if (leftover) DeleteFileW((system + L"\\" + ToWide(file.name)).c_str());
  }
}
