#include "app/housekeeping_win.h"

#include <windows.h>

#include <ctime>
#include <functional>

#include "app/housekeeping.h"
#include "base/launch_log.h"
#include "base/text_win.h"

namespace {

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Calls `visit` with the name of every file matching `pattern` in `dir`.
void ForEachFile(const std::wstring& dir, const wchar_t* pattern,
                 const std::function<void(const std::wstring&)>& visit) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir + L"\\" + pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) visit(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
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
  const std::time_t now = std::time(nullptr);
  ForEachFile(system, L"*", [&](const std::wstring& name) {
    const std::u16string listed = ToU16(name);
    const bool leftover = (HasExtension(listed, u".exe") && IsTempCopy(listed, pattern)) ||
                          (HasExtension(listed, u".log") && IsExpiredDatedLog(listed, pattern, now));
    if (leftover) DeleteFileW((system + L"\\" + name).c_str());
  });
}
