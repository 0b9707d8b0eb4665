#include "hardware/graphics_level.h"

#include <algorithm>

#include "base/resource.h"
#include "base/version.h"

int FallbackGraphicsLevel(int32_t video_memory_mb, float cpu_clock_ghz,
                          uint64_t available_memory_mb) {
  int level = 1;
  if (cpu_clock_ghz >= 2.0f) {
    if (video_memory_mb >= 1000) {
      level = 3;
    } else if (video_memory_mb >= 512) {
      level = 1;
    } else {
      level = 2;
    }
  }
  if (available_memory_mb < 3000) level = 1;
  return level;
}

int ChooseLevel(const LevelInputs& in) {
  int level = std::min(in.adapter_level, in.cpu_class);
  if (in.adapter_level == kNoGraphicsLevel || in.cpu_class == kNoGraphicsLevel) {
    level = kNoGraphicsLevel;
  }
  if (level == kNoGraphicsLevel) {
    level = FallbackGraphicsLevel(in.video_memory_mb, in.cpu_clock_ghz, in.available_memory_mb);
  }
  if (in.desktop_pixels > 1024000) return level;
  return std::max(0, std::min(level + 1, 3));
}

LevelTableSource SelectLevelTableSource(uint32_t patch_version, uint32_t base_version) {
  if (patch_version != 0 && patch_version > base_version) {
    return {PatchPackagePath(patch_version), "gamedata/BaseData/GraphicsLevel.ini"};
  }
  return {"System/GameData.qvk", "BaseData/GraphicsLevel.ini"};
}

unsigned FirstStartMessageId(int level) {
  if (level < 0 || level > 3) return 0;
  return IDS_FIRST_START_LOW - static_cast<unsigned>(level);
}

bool ShouldShowFirstStartNotice(int first_run, bool d3d9_check_passed) {
  return first_run == kGameFirstRun && d3d9_check_passed;
}

int32_t DesktopPixelsFromRect(int32_t right, int32_t bottom) {
  int64_t pixels = static_cast<int64_t>(right) * bottom;
  return static_cast<int32_t>(std::clamp<int64_t>(pixels, 0, INT32_MAX));
}

float CpuClockGHzFromMHz(uint32_t mhz) {
  return static_cast<float>(static_cast<double>(mhz) / 1000.0);
}
