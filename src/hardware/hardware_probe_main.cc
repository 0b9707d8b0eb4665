// hardware_probe.exe: runs the probes once and prints what they found, one
// "Name=value" line each, to standard output and to "probe_result.txt" in the
// working directory. The probe lines of the launch log go to
// "System/launch.log" there. The Windows tests start it as a child process
// so that each run loads Direct3D afresh under its own Wine settings.
//
// Usage: hardware_probe [patch_version base_version]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "hardware/graphics_level_win.h"
#include "hardware/probes_win.h"

int main(int argc, char** argv) {
  uint32_t patch_version = 0;
  uint32_t base_version = 0;
  if (argc == 3) {
    patch_version = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10));
    base_version = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
  }
  // One probe after the other, so that their log lines come in this order.
  const bool d3d9 = D3D9Check();
  const int32_t video_memory = QueryVideoMemoryMB();
  const int adapter_level = QueryAdapterLevel(patch_version, base_version);
  const float clock = QueryCpuClockGHz();
  const uint64_t available = QueryAvailableMemoryMB();
  const int32_t desktop = QueryDesktopPixels();
  char text[512];
  std::snprintf(text, sizeof text,
                "D3D9Check=%d\nVideoMemoryMB=%ld\nAdapterLevel=%d\nCpuClockGHz=%.3f\n"
                "AvailableMemoryMB=%llu\nDesktopPixels=%ld\n",
                d3d9 ? 1 : 0, static_cast<long>(video_memory), adapter_level,
                static_cast<double>(clock), static_cast<unsigned long long>(available),
                static_cast<long>(desktop));
  std::fputs(text, stdout);
  if (FILE* f = std::fopen("probe_result.txt", "wb")) {
    std::fputs(text, f);
    std::fclose(f);
  }
  return 0;
}
