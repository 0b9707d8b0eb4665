#include <windows.h>
#include <ddraw.h>

#include <array>

#include "hardware/d3d9_caps.h"
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

class ScopedLibrary {
 public:
  explicit ScopedLibrary(const wchar_t* name) : module_(LoadLibraryW(name)) {}
  ~ScopedLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
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
  ScopedLibrary library(L"ddraw.dll");
  if (library.get() == nullptr) return -1;
  auto create = reinterpret_cast<DirectDrawCreateFn>(
      reinterpret_cast<void*>(GetProcAddress(library.get(), "DirectDrawCreate")));
  if (create == nullptr) return -1;
  IDirectDraw* ddraw = nullptr;
  if (FAILED(create(nullptr, &ddraw, nullptr)) || ddraw == nullptr) return -1;
  IDirectDraw7* ddraw7 = nullptr;
  if (FAILED(ddraw->QueryInterface(kIidDirectDraw7, reinterpret_cast<void**>(&ddraw7))) ||
      ddraw7 == nullptr) {
    ddraw->Release();
    return -1;
  }
  const std::array<uint32_t, 3> totals = QueryTotals(ddraw7);
  ddraw7->Release();
  ddraw->Release();
  return VideoMemoryMBFromTotals(totals);
}
