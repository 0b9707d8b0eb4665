// Process start-up: the checks that decide whether the launcher runs at all,
// the interface language, the launch log, and the modal run of the window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "base/instance_marker_win.h"
#include "ui/launch_context.h"

// Runs the skin window modally and returns its result (1 when the launcher
// was closed, -1 if the window could not be created).
using WindowRunner = std::function<int(const LaunchContext&)>;

// The launcher's entry: `command_text` is the raw command line behind the
// program name, in the ANSI code page. Returns the process exit code.
int RunLauncher(HINSTANCE instance, const char* command_text, const WindowRunner& run_window);

// The game executable that an empty command line opens.
extern const wchar_t kGameExecutable[];


// Empties the launch log for this run, first making it writable if it is
// read-only, and writes the start time, as local time, as its first line.
void StartLaunchLog(std::time_t start);


// Walks the top-level windows in z-order and returns the first that carries
// the launcher property, or null.
HWND FindMarkedLauncherWindow();
