#include "hardware/cpu_class.h"

#include <cstddef>

namespace {

struct CpuClassRow {
  const char16_t* pattern;
  int8_t cpu_class;
};

// Searched in order; the last matching row decides.
constexpr CpuClassRow kCpuClassRows[] = {
    {u"i7", 3}, {u"i5", 3}, {u"i3", 2}, {u"FX", 3},
    {u"A10", 3}, {u"A8", 2}, {u"Core 2", 1}, {u"X2", 1},
};

}  // namespace

std::string CpuBrandFromLeaves(uint32_t max_basic_leaf, uint32_t max_extended_leaf,
                               const uint32_t (&brand_regs)[12]) {
  std::string brand;
  if (max_basic_leaf == 0 || max_extended_leaf < 0x80000004u) return brand;
  for (uint32_t reg : brand_regs) {
    for (int shift = 0; shift < 32; shift += 8) {
      char c = static_cast<char>((reg >> shift) & 0xFFu);
      if (c == 0) return brand;
      brand.push_back(c);
    }
  }
  return brand;
}

int ClassifyBrand(const std::u16string& brand) {
  int cpu_class = -1;
  for (const CpuClassRow& row : kCpuClassRows) {
    if (brand.find(row.pattern) != std::u16string::npos) cpu_class = row.cpu_class;
  }
  return cpu_class;
}
