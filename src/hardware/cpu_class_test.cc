#include "hardware/cpu_class.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct ClassCase {
  const char* name;
  std::u16string brand;
  int expected;
};

class ClassifyBrandTest : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ClassifyBrandTest, LastMatchingRowWins) {
  EXPECT_EQ(ClassifyBrand(GetParam().brand), GetParam().expected);
}

const ClassCase kClassCases[] = {
    {"LeadingBlanksI7", u"      Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz", 3},
    {"I5", u"Intel(R) Core(TM) i5-3570K CPU @ 3.40GHz", 3},
    {"I3", u"Intel(R) Core(TM) i3-2100 CPU @ 3.10GHz", 2},
    {"Fx", u"AMD FX(tm)-8350 Eight-Core Processor", 3},
    {"A10", u"AMD A10-5800K APU with Radeon(tm) HD Graphics", 3},
    {"A8", u"AMD A8-3850 APU with Radeon(tm) HD Graphics", 2},
    {"Core2", u"Intel(R) Core 2 Duo CPU", 1},
    {"CoreTm2DoesNotMatchRow7", u"Intel(R) Core(TM)2 Duo CPU     E8400  @ 3.00GHz", -1},
    {"CapitalCore2DoesNotMatch", u"INTEL(R) CORE 2 DUO CPU", -1},
    {"CapitalI7DoesNotMatch", u"INTEL(R) CORE(TM) I7-2600", -1},
    {"X2", u"AMD Athlon(tm) 64 X2 Dual Core Processor 4800+", 1},
    {"I5ThenX2GivesX2", u"i5 X2", 1},
    {"X2BeforeI5InTextStillX2", u"X2 i5", 1},
    {"A8AndA10LaterRowIsA8", u"A10 A8", 2},
    {"NoRow", u"Genuine Intel(R) CPU T2300", -1},
    {"Empty", u"", -1},
};

INSTANTIATE_TEST_SUITE_P(Cases, ClassifyBrandTest, ::testing::ValuesIn(kClassCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Packs up to 48 bytes into the twelve brand registers, little-endian.
void PackBrand(const char* bytes, size_t size, uint32_t (&regs)[12]) {
  unsigned char buffer[48] = {};
  std::memcpy(buffer, bytes, size < 48 ? size : 48);
  for (int r = 0; r < 12; ++r) {
    regs[r] = buffer[4 * r] | (buffer[4 * r + 1] << 8) | (buffer[4 * r + 2] << 16) |
              (static_cast<uint32_t>(buffer[4 * r + 3]) << 24);
  }
}

TEST(CpuBrandFromLeaves, ReadsRegistersInOrderUpToFirstZero) {
  uint32_t regs[12];
  const char brand[] = "      Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz";
  PackBrand(brand, sizeof brand, regs);
  EXPECT_EQ(CpuBrandFromLeaves(0xD, 0x80000008u, regs), brand);
}

TEST(CpuBrandFromLeaves, FullFortyEightBytesWithoutZero) {
  uint32_t regs[12];
  const std::string brand(48, 'Q');
  PackBrand(brand.data(), brand.size(), regs);
  EXPECT_EQ(CpuBrandFromLeaves(1, 0x80000004u, regs), brand);
}

TEST(CpuBrandFromLeaves, EmptyWithoutBrandLeaves) {
  uint32_t regs[12];
  PackBrand("Intel i7", 8, regs);
  EXPECT_EQ(CpuBrandFromLeaves(0, 0x80000008u, regs), "");
  EXPECT_EQ(CpuBrandFromLeaves(1, 0x80000003u, regs), "");
  EXPECT_EQ(CpuBrandFromLeaves(1, 0, regs), "");
}

}  // namespace
