// The graphics level check just before the game starts, with the notice that
// tells the player the chosen level on the game's first start. Window thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "package/patch_list.h"

class CGraphicsProbes;

// Chooses the level with the table version taken from `manifest` (the main
// dialog's window-side patch-list index). On the game's first start
// ([FirstRun] FirstRun = 1000 in ./System/GameConfig.ini) and when
// `d3d9_check_passed`, tells the player the level in a box owned by `owner`
// (through ShowMessageBox; returns when it is closed). Returns 1 when the
// game may start, 0 when no level could be chosen (no box then). `probes` as
// for ChooseGraphicsLevel.
int RunFirstStartCheck(const PatchListIndex& manifest, uint32_t base_version,
                       bool d3d9_check_passed, HWND owner, CGraphicsProbes* probes = nullptr);
