// The game's minimum Direct3D 9 feature set, judged from values an adapter
// reports, and the video memory figure from DirectDraw totals. Portable and
// pure; the Direct3D and DirectDraw calls live in the _win files.
#pragma once

#include <array>
#include <cstdint>

constexpr uint32_t kVertexShader30 = 0xFFFE0300u;
constexpr uint32_t kPixelShader30 = 0xFFFF0300u;
constexpr uint32_t kDevCaps2StreamOffset = 0x1u;
// FOURCC "INTZ": a depth-stencil format that can be sampled as a texture.
constexpr uint32_t kFourccIntz = 0x5A544E49u;

struct D3D9AdapterFeatures {
  uint32_t vertex_shader_version = 0;
  uint32_t pixel_shader_version = 0;
  uint32_t num_simultaneous_rts = 0;
  uint32_t max_streams = 0;
  uint32_t dev_caps2 = 0;
  bool intz_depth_texture = false;
};

// The six tests, each 1 or 0: vertex shader 3.0, pixel shader 3.0, exactly
// four simultaneous render targets, at least 8 streams, stream offsets,
// INTZ depth textures.
std::array<int, 6> D3D9FeatureTests(const D3D9AdapterFeatures& features);

bool AllTestsPass(const std::array<int, 6>& tests);

// Video memory in MiB from the totals (bytes) of the three GetAvailableVidMem
// queries: the smallest non-zero total, divided by 1,048,576. Totals are
// unsigned 32-bit, so 2 GiB and more give 2048..4095 and never a negative
// value. -1 when every total is zero.
int32_t VideoMemoryMBFromTotals(const std::array<uint32_t, 3>& totals);
