#include <windows.h>

#include "hardware/graphics_level.h"
#include "hardware/probes_win.h"

uint64_t QueryAvailableMemoryMB() {
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
