// The graphics level selection before each start of the game and the notice
// on the game's first start. Window thread only.
#pragma once

#include <windows.h>

#include <cstdint>

struct IDirect3D9;
class CGraphicsProbes;

// The highest level the level table gives any adapter (at least 0; 0 with
// no adapters or when an adapter's identifier cannot be read), or -1 when
// Direct3D 9 cannot be created. The table comes from the patch package of
// `patch_version` when that is above `base_version`, else from the base
// game data archive; its temporary file is always deleted. Writes
// "GraphicsCount:%d" and one line per adapter. `d3d`: an interface the
// caller created and keeps, or null to create one for this call.
int QueryAdapterLevel(uint32_t patch_version, uint32_t base_version, IDirect3D9* d3d = nullptr);

// The level 0..3 from the probes and the level table (-1 is never produced
// with real probe values, but callers must still treat it as "no level").
// `probes`: the run's probes started ahead, whose video memory and Direct3D
// interface are used; null to measure everything in this call.
int ChooseGraphicsLevel(uint32_t patch_version, uint32_t base_version,
                        CGraphicsProbes* probes = nullptr);
