#include "hardware/d3d9_loader_win.h"

namespace {

// The SDK version the game was built against.
constexpr UINT kD3DSdkVersion = 32;

using Direct3DCreate9Fn = IDirect3D9*(WINAPI*)(UINT);

}  // namespace

ScopedDirect3D9::ScopedDirect3D9() : library_(LoadLibraryW(L"d3d9.dll")) {
  if (!library_) return;
  auto create = reinterpret_cast<Direct3DCreate9Fn>(
      reinterpret_cast<void*>(GetProcAddress(library_.get(), "Direct3DCreate9")));
  if (create != nullptr) d3d_.reset(create(kD3DSdkVersion));
}
