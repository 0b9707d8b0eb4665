#include <fcntl.h>
#include <unistd.h>

#include "base/file_flush.h"

bool FlushFileToDisk(const std::filesystem::path& file) {
  const int fd = open(file.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}
