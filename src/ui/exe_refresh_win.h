// The refresh of the game executable from the patch package that holds its
// newest copy, just before the game starts. Window thread.
#pragma once

#include <string>

#include "package/patch_list.h"
#include "update/version.h"

struct ExeRefreshResult {
  bool ok = false;           // false: message 271, the game is not started
  std::wstring launch_name;  // the name to start from System/ when ok
};

// [run] game_exe of "<working dir>\updatecfg.ini", at most 255 characters
// (a longer value is cut by the profile function), empty when missing.
std::wstring ReadGameExeName();

// Loads the window-side `index` from the current version's package and, when
// the index names a package for `exe_name`, extracts the executable from it
// to "System/<exe_name>" (clearing a read-only attribute first), or to a
// fallback copy "<base>_temp<time>.exe" when the file is held open. Writes
// the "Open qvk ..." and "ExeInVer:%d" log lines. Without a current package,
// or when the index does not list the executable, the installed file is kept
// and its name returned. Holds at most one package open and closes it.
ExeRefreshResult RefreshExecutable(const std::wstring& exe_name, VersionNumber current_version,
                                   PatchListIndex* index);
