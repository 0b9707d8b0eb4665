// d3d9.dll loaded at run time and one IDirect3D9 created from it, both
// released when the object goes out of scope (interface first, then the
// library). get() is null when the library, its Direct3DCreate9 export or
// the interface is missing. Made on the probe thread, released on the window
// thread once the probe thread is done with it; the interface is only lent to
// the probes, which never release or keep it.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include "base/owners_win.h"

class ScopedDirect3D9 {
 public:
  ScopedDirect3D9();
  ScopedDirect3D9(const ScopedDirect3D9&) = delete;
  ScopedDirect3D9& operator=(const ScopedDirect3D9&) = delete;

  IDirect3D9* get() const { return d3d_.get(); }

 private:
  UniqueModule library_;    // declared first: released after the interface
  ComPtr<IDirect3D9> d3d_;
};
