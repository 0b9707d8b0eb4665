#include "hardware/d3d9_caps.h"

#include <gtest/gtest.h>

#include <string>

namespace {

D3D9AdapterFeatures Capable() {
  D3D9AdapterFeatures f;
  f.vertex_shader_version = kVertexShader30;
  f.pixel_shader_version = kPixelShader30;
  f.num_simultaneous_rts = 4;
  f.max_streams = 16;
  f.dev_caps2 = 0x51;
  f.intz_depth_texture = true;
  return f;
}

struct FeatureCase {
  const char* name;
  void (*change)(D3D9AdapterFeatures&);
  std::array<int, 6> expected;
};

class D3D9FeatureTestsTest : public ::testing::TestWithParam<FeatureCase> {};

TEST_P(D3D9FeatureTestsTest, Computes) {
  D3D9AdapterFeatures f = Capable();
  GetParam().change(f);
  const std::array<int, 6> tests = D3D9FeatureTests(f);
  EXPECT_EQ(tests, GetParam().expected);
  EXPECT_EQ(AllTestsPass(tests), GetParam().expected == (std::array<int, 6>{1, 1, 1, 1, 1, 1}));
}

const FeatureCase kFeatureCases[] = {
    {"AllPass", [](D3D9AdapterFeatures&) {}, {1, 1, 1, 1, 1, 1}},
    {"VertexShader20", [](D3D9AdapterFeatures& f) { f.vertex_shader_version = 0xFFFE0200u; }, {0, 1, 1, 1, 1, 1}},
    {"VertexShader40Fails", [](D3D9AdapterFeatures& f) { f.vertex_shader_version = 0xFFFE0400u; }, {0, 1, 1, 1, 1, 1}},
    {"PixelShader20", [](D3D9AdapterFeatures& f) { f.pixel_shader_version = 0xFFFF0200u; }, {1, 0, 1, 1, 1, 1}},
    {"EightRenderTargetsFailsEquality", [](D3D9AdapterFeatures& f) { f.num_simultaneous_rts = 8; }, {1, 1, 0, 1, 1, 1}},
    {"SevenStreams", [](D3D9AdapterFeatures& f) { f.max_streams = 7; }, {1, 1, 1, 0, 1, 1}},
    {"EightStreams", [](D3D9AdapterFeatures& f) { f.max_streams = 8; }, {1, 1, 1, 1, 1, 1}},
    {"NoStreamOffset", [](D3D9AdapterFeatures& f) { f.dev_caps2 = 0x50; }, {1, 1, 1, 1, 0, 1}},
    {"NoIntz", [](D3D9AdapterFeatures& f) { f.intz_depth_texture = false; }, {1, 1, 1, 1, 1, 0}},
    {"NothingReported", [](D3D9AdapterFeatures& f) { f = D3D9AdapterFeatures(); }, {0, 0, 0, 0, 0, 0}},
};

INSTANTIATE_TEST_SUITE_P(Cases, D3D9FeatureTestsTest, ::testing::ValuesIn(kFeatureCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct MemoryCase {
  const char* name;
  std::array<uint32_t, 3> totals;
  int32_t expected;
};

class VideoMemoryTest : public ::testing::TestWithParam<MemoryCase> {};

TEST_P(VideoMemoryTest, SmallestNonZeroTotalInMiB) {
  EXPECT_EQ(VideoMemoryMBFromTotals(GetParam().totals), GetParam().expected);
}

const MemoryCase kMemoryCases[] = {
    {"OnlyMiddle", {0, 268435456u, 0}, 256},
    {"SmallerCounts", {536870912u, 268435456u, 0}, 256},
    {"SmallerFirst", {268435456u, 536870912u, 1073741824u}, 256},
    {"AllZero", {0, 0, 0}, -1},
    {"RoundedDown", {1073741823u, 0, 0}, 1023},
    {"BelowOneMiB", {1048575u, 0, 0}, 0},
    {"TwoGiB", {0x80000000u, 0, 0}, 2048},
    {"LargestTotal", {0xFFFFFFFFu, 0, 0}, 4095},
    {"LargeAgainstSmallUnsigned", {0xF0000000u, 0x10000000u, 0}, 256},
};

INSTANTIATE_TEST_SUITE_P(Cases, VideoMemoryTest, ::testing::ValuesIn(kMemoryCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
