// Takes the graphics level table out of the game's package archives.
#pragma once

#include <cstdint>

#include "hardware/level_table.h"
#include "package/patch_list.h"

// Extracts the table from the archive that SelectLevelTableSource names to
// kLevelTableTempPath (relative to the working directory), reads it and
// deletes that file whatever happened before, read-only or not. When the
// archive or its entry is missing, a file already lying at that path is read
// all the same. An empty table when nothing could be read.
LevelTable LoadPackagedLevelTable(uint32_t patch_version, uint32_t base_version);

// The version the window-side manifest records for "GRAPHICSLEVEL.INI", 0
// when it has no such key.
VersionNumber LevelTablePatchVersion(const PatchListIndex& index);
