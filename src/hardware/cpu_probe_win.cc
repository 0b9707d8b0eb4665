#include <windows.h>
#include <cpuid.h>

#include <string>

#include "base/launch_log.h"
#include "base/profile_win.h"
#include "base/text_win.h"
#include "hardware/cpu_class.h"
#include "hardware/graphics_level.h"
#include "hardware/level_table.h"
#include "hardware/probe_log.h"
#include "hardware/probes_win.h"

float QueryCpuClockGHz() {
  DWORD mhz = 0;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0,
                    KEY_READ, &key) == ERROR_SUCCESS) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(key, L"~MHz", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof value) {
      mhz = value;
    }
    RegCloseKey(key);
  }
  return CpuClockGHzFromMHz(mhz);
}

std::string ReadCpuBrand() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  __cpuid(0, eax, ebx, ecx, edx);
  const uint32_t max_basic = eax;
  uint32_t max_extended = 0;
  uint32_t regs[12] = {};
  if (max_basic != 0) {
    __cpuid(0x80000000u, eax, ebx, ecx, edx);
    max_extended = eax;
    if (max_extended >= 0x80000004u) {
      for (unsigned int leaf = 0; leaf < 3; ++leaf) {
        __cpuid(0x80000002u + leaf, eax, ebx, ecx, edx);
        regs[4 * leaf] = eax;
        regs[4 * leaf + 1] = ebx;
        regs[4 * leaf + 2] = ecx;
        regs[4 * leaf + 3] = edx;
      }
    }
  }
  return CpuBrandFromLeaves(max_basic, max_extended, regs);
}

int ClassifyCpu() {
  const std::u16string brand = WidenBytes(ReadCpuBrand().c_str(), 1024);
  const int cpu_class = ClassifyBrand(brand);
  // Upper case for the log only; the matching above used the brand as reported.
  std::wstring upper(brand.begin(), brand.end());
  if (!upper.empty()) CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
  LaunchLogWrite(FormatCpuClassLine(WideToAnsiBounded(upper, 256), cpu_class).c_str());
  return cpu_class;
}
