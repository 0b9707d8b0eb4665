#include <windows.h>
#include <d3d9.h>

#include "base/launch_log.h"
#include "hardware/d3d9_caps.h"
#include "hardware/d3d9_loader_win.h"
#include "hardware/probe_log.h"
#include "hardware/probes_win.h"

// Ask the drivers of machines with switchable graphics to run the launcher,
// and so every probe, on the high-performance adapter. They live here so
// that every program calling D3D9Check exports them.
extern "C" {
__declspec(dllexport) DWORD NvOptimusEnablement = 1;
__declspec(dllexport) DWORD AmdPowerXpressRequestHighPerformance = 1;
}

bool D3D9Check() {
  ScopedDirect3D9 d3d;
  return D3D9Check(d3d.get());
}

bool D3D9Check(IDirect3D9* d3d, std::vector<std::string>* lines) {
  if (d3d == nullptr) return false;
  const int count = static_cast<int>(d3d->GetAdapterCount());
  for (int adapter = 0; adapter < count; ++adapter) {
    D3DCAPS9 caps = {};
    if (FAILED(d3d->GetDeviceCaps(adapter, D3DDEVTYPE_HAL, &caps))) return false;
    D3D9AdapterFeatures features;
    features.vertex_shader_version = caps.VertexShaderVersion;
    features.pixel_shader_version = caps.PixelShaderVersion;
    features.num_simultaneous_rts = caps.NumSimultaneousRTs;
    features.max_streams = caps.MaxStreams;
    features.dev_caps2 = caps.DevCaps2;
    features.intz_depth_texture =
        SUCCEEDED(d3d->CheckDeviceFormat(adapter, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8,
                                               D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_TEXTURE,
                                               static_cast<D3DFORMAT>(kFourccIntz)));
    const std::array<int, 6> tests = D3D9FeatureTests(features);
    for (const std::string& line : {FormatD3D9AdapterCountLine(count), FormatD3D9InfoLine(tests)}) {
      if (lines != nullptr) {
        lines->push_back(line);
      } else {
        LaunchLogWrite(line.c_str());
      }
    }
    if (AllTestsPass(tests)) return true;
  }
  return false;
}
