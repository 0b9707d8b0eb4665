#include "update/atomic_file.h"

#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

void MakeWritable(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) return;
  if ((status.permissions() & fs::perms::owner_write) == fs::perms::none) {
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ec);
  }
}

bool WriteFileReplacing(const fs::path& path, const void* data, std::size_t size) {
  fs::path temp = path;
  temp += ".tmp";
  std::error_code ec;
  {
    MakeWritable(temp);  // a leftover of an interrupted run
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (out) {
      out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
      out.close();
    }
    if (!out) {
      fs::remove(temp, ec);
      return false;
    }
  }
  MakeWritable(path);
  fs::rename(temp, path, ec);
  if (ec) {
    fs::remove(temp, ec);
    return false;
  }
  return true;
}
