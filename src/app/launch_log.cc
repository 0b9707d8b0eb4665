#include "app/launch_log.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

const char kDefaultPath[] = "System/launch.log";

std::mutex g_path_mutex;
std::string g_path_override;

// The C runtime emulates append mode on Windows by seeking to the end before
// writing, so two threads appending at once could overwrite each other's line.
std::mutex g_write_mutex;

std::string LogPath() {
  std::lock_guard<std::mutex> lock(g_path_mutex);
  return g_path_override.empty() ? std::string(kDefaultPath) : g_path_override;
}

}  // namespace

void SetLaunchLogPathForTest(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_path_mutex);
  g_path_override = path;
}

std::string ToCrLf(const char* line) {
  std::string out;
  for (const char* p = line; *p; ++p) {
    if (*p == '\n') out += '\r';
    out += *p;
  }
  return out;
}

void LaunchLogReset() {
  if (std::FILE* f = std::fopen(LogPath().c_str(), "wb")) std::fclose(f);
}

void LaunchLogWrite(const char* line) {
  if (!line) return;
  const std::string bytes = ToCrLf(line);
  const std::string path = LogPath();
  // Another writer (the other thread, or a program reading the log) may hold
  // the file for a moment; ten tries cover that.
  std::lock_guard<std::mutex> lock(g_write_mutex);
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (std::FILE* f = std::fopen(path.c_str(), "ab")) {
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void LaunchLogf(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  LaunchLogWrite(buffer);
}
