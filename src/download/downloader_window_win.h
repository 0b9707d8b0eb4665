// The download program's window: the launcher's colours (a navy panel, the
// golden ring and line of its skin), one progress bar over all bytes to
// fetch, the bytes, a smoothed speed, the time left and the package being
// fetched; Cancel while it works, Retry and Close after a failure, and a
// text for every failure that says what failed and what to do. When the
// game is up to date it says so and closes itself after a few seconds,
// unless the player has moved the pointer onto it (to read). While it downloads
// the machine stays awake and the taskbar button shows the progress.
//
// The engine runs on a thread of its own; it reaches the window only by
// posted messages. Everything else runs on the window thread.
#pragma once

#include <windows.h>

#include <string>

#include "download/download_engine.h"

struct WindowOptions {
  DownloadSettings settings;
  bool close_when_done = false;  // close at once when up to date (scripts)
  // Started by a launcher that offered the update: start it again when the
  // game is up to date, with the command text it was given.
  bool then_start_launcher = false;
  std::wstring launcher_args;
};

// Shows the window and runs its message loop until it closes. Returns the
// program's exit status: kExitDone, kExitFailed (failed or cancelled) or
// kExitRefused (closed while a program it must not run beside ran).
int RunDownloaderWindow(HINSTANCE instance, const WindowOptions& options);
