#include "hardware/d3d9_caps.h"

std::array<int, 6> D3D9FeatureTests(const D3D9AdapterFeatures& f) {
  return {
      f.vertex_shader_version == kVertexShader30 ? 1 : 0,
      f.pixel_shader_version == kPixelShader30 ? 1 : 0,
      f.num_simultaneous_rts == 4 ? 1 : 0,
      f.max_streams >= 8 ? 1 : 0,
      (f.dev_caps2 & kDevCaps2StreamOffset) != 0 ? 1 : 0,
      f.intz_depth_texture ? 1 : 0,
  };
}

bool AllTestsPass(const std::array<int, 6>& tests) {
  for (int t : tests) {
    if (t != 1) return false;
  }
  return true;
}

int32_t VideoMemoryMBFromTotals(const std::array<uint32_t, 3>& totals) {
  uint32_t smallest = 0;
  for (uint32_t total : totals) {
    if (total != 0 && (smallest == 0 || total < smallest)) smallest = total;
  }
  if (smallest == 0) return -1;
  return static_cast<int32_t>(smallest / 1048576u);
}
