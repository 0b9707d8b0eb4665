// Processor class from the processor's brand string, on the graphics level
// scale (3 highest .. 0 low). Portable and pure; the CPUID reading and the
// log write live in cpu_probe_win.cc.
#pragma once

#include <cstdint>
#include <string>

// The brand from CPUID: `max_basic_leaf` from leaf 0, `max_extended_leaf`
// from leaf 0x80000000, `brand_regs` the EAX, EBX, ECX, EDX of leaves
// 0x80000002..0x80000004 in turn. Empty when leaf 0 reports 0 or the brand
// leaves are missing; ends at the first zero byte; at most 48 bytes.
std::string CpuBrandFromLeaves(uint32_t max_basic_leaf, uint32_t max_extended_leaf,
                               const uint32_t (&brand_regs)[12]);

// The value of the last row of the fixed pattern table whose pattern occurs
// in `brand` (case-sensitive), or -1 when none does.
int ClassifyBrand(const std::u16string& brand);
