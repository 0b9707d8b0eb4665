// The choice of a graphics level (3 highest, 2 high, 1 middle, 0 low, -1
// none) from the probe values, and the rules around it that need no system
// call. Portable and pure; the probes and the first-start notice live in
// graphics_level_win.cc.
#pragma once

#include <cstdint>
#include <string>

#include "base/resource.h"

constexpr int kNoGraphicsLevel = -1;

// Probe values in the order they are gathered.
struct LevelInputs {
  int32_t video_memory_mb = -1;      // -1: not measurable
  uint64_t available_memory_mb = 0;  // the process's free address space
  float cpu_clock_ghz = 0.0f;        // 0.0: not measurable
  int adapter_level = -1;            // from the level table, -1: none
  int cpu_class = -1;                // from the brand, -1: none
  int32_t desktop_pixels = 0;
};

// The level used when the table or the processor gives none: 3 with a clock
// of at least 2.0 GHz and 1000 MiB or more of video memory, 1 with 512..999
// MiB, 2 below 512 MiB; 1 below 2.0 GHz; always 1 with less than 3000 MiB of
// available memory.
int FallbackGraphicsLevel(int32_t video_memory_mb, float cpu_clock_ghz,
                          uint64_t available_memory_mb);

// min(adapter level, processor class), or the fallback when either is -1;
// then one level more (at most 3, at least 0) on a desktop of 1,024,000
// pixels or fewer.
int ChooseLevel(const LevelInputs& inputs);

// Where the level table is taken from.
struct LevelTableSource {
  std::string archive_path;
  std::string entry_name;
};

// The patch package of `patch_version` when that is not 0 and above
// `base_version` (compared unsigned), else the base game data archive.
LevelTableSource SelectLevelTableSource(uint32_t patch_version, uint32_t base_version);

// Where the table entry is extracted to; deleted after reading.
constexpr const char* kLevelTableTempPath = "System/GraphicsLevel.ini";

// The manifest key whose version names the table's package.
constexpr const char* kLevelTableManifestKey = "GRAPHICSLEVEL.INI";

// The value of [FirstRun] FirstRun that marks the game's first start.
constexpr int kGameFirstRun = 1000;

// Caption of the first-start notice.
constexpr unsigned kFirstStartCaptionId = IDS_FIRST_START_CAPTION;

// The notice text for levels 3..0 (messages 272..275); 0 for any other level.
unsigned FirstStartMessageId(int level);

// The notice is shown only on the game's first start and when the Direct3D 9
// check passed.
bool ShouldShowFirstStartNotice(int first_run, bool d3d9_check_passed);

// right * bottom of the desktop window, kept within 0..INT32_MAX.
int32_t DesktopPixelsFromRect(int32_t right, int32_t bottom);

// The registry's MHz taken as unsigned, in GHz.
float CpuClockGHzFromMHz(uint32_t mhz);
