#include "ui/first_start_check_win.h"

#include "base/message_box_win.h"
#include "base/message_catalog_win.h"
#include "base/profile_win.h"
#include "hardware/graphics_level.h"
#include "hardware/graphics_level_win.h"
#include "hardware/level_table_source.h"

namespace {

// The game's own configuration. The game lets "game_Dir" in [run] move it,
// but the profile file named for that lookup holds no keys, so it is always
// here.
const wchar_t kGameConfigPath[] = L"./System/GameConfig.ini";

}  // namespace

int RunFirstStartCheck(const PatchListIndex& manifest, uint32_t base_version,
                       bool d3d9_check_passed, HWND owner, CGraphicsProbes* probes) {
  const int first_run = ReadProfileNumber(kGameConfigPath, L"FirstRun", L"FirstRun", -1);
  const int level = ChooseGraphicsLevel(LevelTablePatchVersion(manifest), base_version, probes);
  if (level == kNoGraphicsLevel) return 0;
  const unsigned message = FirstStartMessageId(level);
  if (message != 0 && ShouldShowFirstStartNotice(first_run, d3d9_check_passed)) {
    ShowMessageBox(owner, LoadMessage(message), LoadMessage(kFirstStartCaptionId), MB_OK);
  }
  return 1;
}
