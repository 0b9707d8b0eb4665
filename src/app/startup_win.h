// Process start-up: the checks that decide whether the launcher runs at all,
// the interface language, the launch log, and the modal run of the window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "ui/launch_context.h"

// Runs the skin window modally and returns its result (1 when the launcher
// was closed, -1 if the window could not be created).
using WindowRunner = std::function<int(const LaunchContext&)>;

// The launcher's entry: `command_text` is the raw command line behind the
// program name, in the ANSI code page. Returns the process exit code.
int RunLauncher(HINSTANCE instance, const char* command_text, const WindowRunner& run_window);

// The game executable that an empty command line opens.
extern const wchar_t kGameExecutable[];

// Semaphore names.
extern const wchar_t kGameRunningSemaphore[];
extern const wchar_t kDownloaderSemaphore[];
extern const wchar_t kInstanceSemaphore[];

// Empties the launch log for this run, first making it writable if it is
// read-only, and writes the start time, as local time, as its first line.
void StartLaunchLog(std::time_t start);

// Whether a semaphore of that name exists (the game's or the download
// program's; only their existence matters), also one that refuses this
// process access. It is opened and closed at once.
bool NamedSemaphoreExists(const wchar_t* name);

// Creates this launcher's instance marker; its handle stays open for the life
// of the process. False when another launcher holds the marker already, also
// when the marker refuses this process access (an elevated launcher's).
bool TakeInstanceMarker(const wchar_t* name);

// Walks the top-level windows in z-order and returns the first that carries
// the launcher property, or null.
HWND FindMarkedLauncherWindow();
