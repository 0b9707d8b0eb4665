// The refresh of the game executable from the patch package that holds its
// newest copy, just before the game starts. Window thread.
#pragma once

#include <string>

#include "package/patch_list.h"
#include "base/version.h"

struct ExeRefreshResult {
  bool ok = false;           // false: message 271, the game is not started
  std::wstring launch_name;  // the name to start from System/ when ok
};

// [run] game_exe of "<working dir>\updatecfg.ini", at most 255 characters
// (a longer value is cut by the profile function), empty when missing.
std::wstring ReadGameExeName();

enum class ManifestSource {
  kRead,       // the index is loaded from the current package's manifest
  kTakenOver,  // the index already holds it, taken over from the worker
};

// Loads the window-side `index` from the current version's package (unless
// it was taken over from the worker, which read the same manifest) and, when
// the index names a package above `base_version` for `exe_name`, extracts the
// executable from it to a fresh copy "System/<base>_temp<time>.exe", which
// then replaces "System/<exe_name>" (a read-only attribute cleared first) or,
// when the executable is held by the running game, is itself the launch name.
// A copy that could not be written whole is removed and the result is not ok
// (the installed executable is untouched). Writes the "Open qvk ..." and
// "ExeInVer:%d" log lines. Without a current package, when the index does not
// list the executable, or when its record is not above the base version, the
// installed file is kept and its name returned. Holds at most one package open
// and closes it.
ExeRefreshResult RefreshExecutable(const std::wstring& exe_name, VersionNumber current_version,
                                   VersionNumber base_version, PatchListIndex* index,
                                   ManifestSource manifest = ManifestSource::kRead);
