#include "hardware/probe_log.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct LineCase {
  const char* name;
  std::string line;
  std::string expected;
};

class ProbeLogLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(ProbeLogLineTest, Formats) { EXPECT_EQ(GetParam().line, GetParam().expected); }

const LineCase kLineCases[] = {
    {"CpuLeadingBlanksRemoved", FormatCpuClassLine("      INTEL(R) CORE(TM) I7-2600 CPU", 3),
     "INTEL(R) CORE(TM) I7-2600 CPU:3\n"},
    {"CpuLeadingTabRemoved", FormatCpuClassLine("\t AMD FX", 3), "AMD FX:3\n"},
    {"CpuEmptyBrand", FormatCpuClassLine("", -1), ":-1\n"},
    {"CpuBlanksOnly", FormatCpuClassLine("   ", -1), ":-1\n"},
    {"CpuInnerBlanksKept", FormatCpuClassLine(" A  B ", 1), "A  B :1\n"},
    {"AdapterLineKeepsLeadingBlank", FormatNameValueLine(" NVIDIA GEFORCE GTX 560", 2),
     " NVIDIA GEFORCE GTX 560:2\n"},
    {"AdapterLongTextCutBeforeValue", FormatNameValueLine(std::string(300, 'A'), -1),
     std::string(251, 'A') + ":-1\n"},
    {"AdapterTextJustFits", FormatNameValueLine(std::string(252, 'B'), 3), std::string(252, 'B') + ":3\n"},
    {"AdapterCount", FormatD3D9AdapterCountLine(2), "D3D9Check NumAdapters:2\n"},
    {"Info", FormatD3D9InfoLine({1, 1, 1, 1, 1, 0}), "D3D9Check info:1,1,1,1,1,0\n"},
    {"GraphicsCount", FormatGraphicsCountLine(0), "GraphicsCount:0\n"},
    {"GraphicsCountMany", FormatGraphicsCountLine(17), "GraphicsCount:17\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ProbeLogLineTest, ::testing::ValuesIn(kLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProbeLogLine, NeverLongerThanTheLimit) {
  for (size_t length : {0u, 100u, 250u, 251u, 252u, 253u, 254u, 255u, 256u, 1000u}) {
    const std::string line = FormatNameValueLine(std::string(length, 'X'), -2147483647 - 1);
    EXPECT_LE(line.size(), kMaxProbeLogLine) << length;
    EXPECT_EQ(line.substr(line.size() - 13), ":-2147483648\n") << length;
  }
}

}  // namespace
