#include "base/launch_log.h"

#include <atomic>
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
// Held for one attempt only, never across the wait before the next, so a line
// that keeps failing does not hold up the other thread's lines.
std::mutex g_write_mutex;

void SleepBeforeRetry() noexcept { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }

std::atomic<LaunchLogRetryWait> g_retry_wait{&SleepBeforeRetry};

// One open, write and close; false when the file cannot be opened.
bool AppendOnce(const std::string& path, const std::string& bytes) {
  std::lock_guard<std::mutex> lock(g_write_mutex);
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return false;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return true;
}

}  // namespace

std::string LaunchLogPath() {
  std::lock_guard<std::mutex> lock(g_path_mutex);
  return g_path_override.empty() ? std::string(kDefaultPath) : g_path_override;
}

void SetLaunchLogRetryWaitForTest(LaunchLogRetryWait wait) {
  g_retry_wait = wait ? wait : &SleepBeforeRetry;
}

void SetLaunchLogPath(const std::string& path) {
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
  if (std::FILE* f = std::fopen(LaunchLogPath().c_str(), "wb")) std::fclose(f);
}

void LaunchLogWrite(const char* line) {
  if (!line) return;
  const std::string bytes = ToCrLf(line);
  const std::string path = LaunchLogPath();
  // Another program (one reading the log) may hold the file for a moment;
  // ten tries cover that.
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (AppendOnce(path, bytes)) return;
    g_retry_wait.load()();
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
