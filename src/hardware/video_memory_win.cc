#include <windows.h>
#include <ddraw.h>

#include <array>

#include "hardware/d3d9_caps.h"
#include "base/owners_win.h"
#include "hardware/probes_win.h"

namespace {

// IID_IDirectDraw7, defined here so that no GUID library is linked.
constexpr GUID kIidDirectDraw7 = {0x15e65ec0, 0x3b9c, 0x11d2,
                                  {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};

using DirectDrawCreateFn = HRESULT(WINAPI*)(GUID*, IDirectDraw**, IUnknown*);

// Surface kinds asked for, in this order; all in local video memory.
constexpr DWORD kVidMemQueries[3] = {
    DDSCAPS_LOCALVIDMEM | DDSCAPS_VIDEOMEMORY | DDSCAPS_3DDEVICE | DDSCAPS_TEXTURE,
    DDSCAPS_LOCALVIDMEM | DDSCAPS_VIDEOMEMORY | DDSCAPS_TEXTURE,
    DDSCAPS_LOCALVIDMEM | DDSCAPS_VIDEOMEMORY | DDSCAPS_OFFSCREENPLAIN,
};

std::array<uint32_t, 3> QueryTotals(IDirectDraw7* ddraw7) {
  std::array<uint32_t, 3> totals = {};
  for (size_t i = 0; i < totals.size(); ++i) {
    DDSCAPS2 caps = {};
    caps.dwCaps = kVidMemQueries[i];
    DWORD total = 0;
    DWORD free_bytes = 0;
    if (SUCCEEDED(ddraw7->GetAvailableVidMem(&caps, &total, &free_bytes))) totals[i] = total;
  }
  return totals;
}

}  // namespace

int32_t QueryVideoMemoryMB() {
  const UniqueModule library(LoadLibraryW(L"ddraw.dll"));
  if (!library) return -1;
  auto create = reinterpret_cast<DirectDrawCreateFn>(
      reinterpret_cast<void*>(GetProcAddress(library.get(), "DirectDrawCreate")));
  if (create == nullptr) return -1;
  // Declared in this order so that the newer interface is released first.
  ComPtr<IDirectDraw> ddraw;
  if (FAILED(create(nullptr, ddraw.Receive(), nullptr)) || !ddraw) return -1;
  ComPtr<IDirectDraw7> ddraw7;
  if (FAILED(ddraw->QueryInterface(kIidDirectDraw7, reinterpret_cast<void**>(ddraw7.Receive()))) ||
      !ddraw7) {
    return -1;
  }
  return VideoMemoryMBFromTotals(QueryTotals(ddraw7.get()));
}
