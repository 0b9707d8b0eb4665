#include "app/housekeeping_win.h"

#include <windows.h>

#include <ctime>
#include <functional>

#include "app/housekeeping.h"
#include "base/launch_log.h"
#include "base/text.h"
#include "base/text_win.h"

namespace {

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Calls `visit` with the name of every file matching `pattern` in `dir`.
// False when the directory cannot be listed.
bool ForEachFile(const std::wstring& dir, const wchar_t* pattern,
                 const std::function<void(const std::wstring&)>& visit) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir + L"\\" + pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) visit(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return true;
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

std::optional<std::vector<std::u16string>> RunSecondCleanup() {
  const std::wstring dir = CurrentDirectory();
  // The value is read into a 256-unit buffer; longer values arrive cut.
  wchar_t game_exe[256] = L"";
  GetPrivateProfileStringW(L"run", L"game_exe", L"", game_exe, 256, (dir + L"\\updatecfg.ini").c_str());
  const std::u16string pattern = TempCopyPattern(GameBaseName(ToU16(game_exe)));
  const std::wstring system = dir + L"\\System";

  // One listing serves both kinds of leftovers and, with what stays, the
  // worker's package checks.
  const std::time_t now = std::time(nullptr);
  std::vector<std::u16string> left;
  const bool listed = ForEachFile(system, L"*", [&](const std::wstring& name) {
    const std::u16string listed_name = ToU16(name);
    const bool leftover =
        (EndsWithIgnoringAsciiCase(listed_name, u".exe") && IsTempCopy(listed_name, pattern)) ||
        (EndsWithIgnoringAsciiCase(listed_name, u".log") &&
         IsExpiredDatedLog(listed_name, pattern, now));
    if (!leftover || !DeleteFileW((system + L"\\" + name).c_str())) left.push_back(listed_name);
  });
  if (!listed) return std::nullopt;
  return left;
}
