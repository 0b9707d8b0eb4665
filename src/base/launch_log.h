// The launch log: "System/launch.log" under the working directory, emptied at
// every start and extended one line at a time by the window thread and the
// updater worker. Each line is one open, one write and one close, so other
// programs may read, copy or delete the file while the launcher runs.
#pragma once

#include <string>

// Creates the log or cuts it to length zero.
void LaunchLogReset();

// Appends one fully formatted line. Every "\n" is stored as CR LF. A line that
// cannot be written after ten attempts (10 ms apart) is dropped silently.
// Callable from any thread; the waits of one line do not hold up another
// thread's lines.
void LaunchLogWrite(const char* line);

// printf-style formatting into a bounded buffer (1024 bytes; longer lines are
// truncated), then LaunchLogWrite.
void LaunchLogf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Converts "\n" to "\r\n"; exposed for tests.
std::string ToCrLf(const char* line);

// The log's path: "System/launch.log", or the one a test set.
std::string LaunchLogPath();

// Points the log elsewhere (the download program's own log, tests); an empty
// path restores "System/launch.log".
void SetLaunchLogPath(const std::string& path);

// Tests replace the 10 ms wait that follows a failed attempt at a line; null
// restores it. The wait runs on the writing thread.
using LaunchLogRetryWait = void (*)() noexcept;
void SetLaunchLogRetryWaitForTest(LaunchLogRetryWait wait);
