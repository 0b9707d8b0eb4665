#include <windows.h>

#include "base/file_flush.h"

bool FlushFileToDisk(const std::filesystem::path& file) {
  // Shared every way, so that a writer, a reader or a rename is never refused
  // because of it.
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = FlushFileBuffers(h) != 0;
  CloseHandle(h);
  return ok;
}
