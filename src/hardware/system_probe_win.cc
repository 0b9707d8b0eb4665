#include <windows.h>

#include <algorithm>

#include "hardware/graphics_level.h"
#include "hardware/probes_win.h"

namespace {

// The end of the address space of the shipped 32-bit launcher, which is not
// large-address-aware: 2 GiB less the 64 KiB the system keeps at the top.
constexpr uintptr_t kEndOf32BitSpace = 0x7FFF0000;

// The free bytes of this process's address space below kEndOf32BitSpace.
uint64_t FreeBelow32BitEnd() {
  SYSTEM_INFO system = {};
  GetSystemInfo(&system);
  uintptr_t at = reinterpret_cast<uintptr_t>(system.lpMinimumApplicationAddress);
  uint64_t free = 0;
  while (at < kEndOf32BitSpace) {
    MEMORY_BASIC_INFORMATION region = {};
    if (VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region) == 0) break;
    const uintptr_t end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (end <= at) break;
    if (region.State == MEM_FREE) free += std::min(end, kEndOf32BitSpace) - at;
    at = end;
  }
  return free;
}

}  // namespace

uint64_t QueryAvailableMemoryMB() {
  // The level choice reads this figure as a 32-bit program's room. A 64-bit
  // build measures the same room, the part of its address space a 32-bit
  // program would have, so that both builds choose the same level.
  if constexpr (sizeof(void*) == 8) return FreeBelow32BitEnd() >> 20;
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return 0;
  return status.ullAvailVirtual >> 20;
}

int32_t QueryDesktopPixels() {
  RECT rect = {};
  if (!GetWindowRect(GetDesktopWindow(), &rect)) return 0;
  return DesktopPixelsFromRect(rect.right, rect.bottom);
}
