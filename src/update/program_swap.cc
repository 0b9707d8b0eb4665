#include "update/program_swap.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "package/release_index.h"

namespace fs = std::filesystem;

namespace {

// Tries `step` until it succeeds or `retry_ms` have passed.
template <typename Step>
bool Retried(int retry_ms, Step step) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(retry_ms);
  for (;;) {
    if (step()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace

bool DiskSwapFiles::Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

bool DiskSwapFiles::Rename(const fs::path& from, const fs::path& to) {
  return Retried(retry_ms_, [&] {
    std::error_code ec;
    if (fs::exists(to, ec)) return false;
    fs::rename(from, to, ec);
    return !ec;
  });
}

bool DiskSwapFiles::Replace(const fs::path& from, const fs::path& to) {
  return Retried(retry_ms_, [&] {
    std::error_code ec;
    fs::rename(from, to, ec);  // MoveFileExW with MOVEFILE_REPLACE_EXISTING on Windows
    return !ec;
  });
}

bool DiskSwapFiles::Remove(const fs::path& path) {
  return Retried(retry_ms_, [&] {
    std::error_code ec;
    fs::remove(path, ec);
    return !fs::exists(path, ec);
  });
}

std::string OldProgramName(const std::string& installed_name) {
  const size_t dot = installed_name.rfind('.');
  return installed_name.substr(0, dot) + ".old" + (dot == std::string::npos ? "" : installed_name.substr(dot));
}

bool SwapProgram(SwapFiles& files, const fs::path& installed, const fs::path& fresh, bool running) {
  const fs::path old = installed.parent_path() / OldProgramName(installed.filename().u8string());
  // An old copy left from an earlier swap makes room first; if it is the only
  // copy (the program itself is missing), it is restored instead.
  if (files.Exists(old)) {
    if (!files.Exists(installed)) {
      if (!files.Rename(old, installed)) return false;
    } else if (!files.Remove(old)) {
      return false;
    }
  }
  if (!running) return files.Replace(fresh, installed);
  if (files.Exists(installed) && !files.Rename(installed, old)) return false;
  if (files.Rename(fresh, installed)) return true;
  files.Rename(old, installed);  // refused: the old program takes its name back
  return false;
}

void TidyPrograms(SwapFiles& files, const fs::path& root) {
  for (const char* name : kUpdatablePrograms) {
    const fs::path installed = root / name;
    const fs::path old = root / OldProgramName(name);
    if (!files.Exists(old)) continue;
    if (!files.Exists(installed)) {
      files.Rename(old, installed);
      continue;
    }
    files.Remove(old);
  }
}
