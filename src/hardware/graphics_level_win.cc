#include "hardware/graphics_level_win.h"

#include <d3d9.h>

#include <algorithm>
#include <memory>
#include <string>

#include "base/launch_log.h"
#include "base/profile_win.h"
#include "base/text.h"
#include "base/text_win.h"
#include "hardware/d3d9_loader_win.h"
#include "hardware/graphics_level.h"
#include "hardware/graphics_probes_win.h"
#include "hardware/level_table.h"
#include "hardware/level_table_source.h"
#include "hardware/probe_log.h"
#include "hardware/probes_win.h"

namespace {

// Description bytes as wide characters, at most this many.
constexpr size_t kMaxDescriptionChars = 512;

}  // namespace

int QueryAdapterLevel(uint32_t patch_version, uint32_t base_version, IDirect3D9* lent) {
  const LevelTable table = LoadPackagedLevelTable(patch_version, base_version);
  LaunchLogWrite(FormatGraphicsCountLine(table.size()).c_str());

  std::unique_ptr<ScopedDirect3D9> own;
  if (lent == nullptr) own = std::make_unique<ScopedDirect3D9>();
  IDirect3D9* d3d = lent != nullptr ? lent : own->get();
  if (d3d == nullptr) return kNoGraphicsLevel;
  int overall = 0;
  const UINT count = d3d->GetAdapterCount();
  for (UINT adapter = 0; adapter < count; ++adapter) {
    D3DADAPTER_IDENTIFIER9 id = {};
    if (FAILED(d3d->GetAdapterIdentifier(adapter, 0, &id))) return 0;
    // Description is a fixed array that need not end in a zero.
    const std::u16string description =
        WidenBytes(id.Description, std::min(kMaxDescriptionChars, sizeof id.Description));
    const int level = MatchAdapterLevel(table, AsciiLower(description));
    if (level > overall) overall = level;
    const std::u16string upper = AsciiUpper(description);
    LaunchLogWrite(
        FormatNameValueLine(WideToAnsiBounded(std::wstring(upper.begin(), upper.end()), 256), overall)
            .c_str());
  }
  return overall;
}

int ChooseGraphicsLevel(uint32_t patch_version, uint32_t base_version, CGraphicsProbes* probes) {
  LevelInputs in;
  in.video_memory_mb = probes ? probes->TakeVideoMemoryMB() : QueryVideoMemoryMB();
  in.available_memory_mb = QueryAvailableMemoryMB();
  in.cpu_clock_ghz = QueryCpuClockGHz();
  in.adapter_level =
      QueryAdapterLevel(patch_version, base_version, probes ? probes->direct3d() : nullptr);
  in.cpu_class = ClassifyCpu();
  in.desktop_pixels = QueryDesktopPixels();
  return ChooseLevel(in);
}
