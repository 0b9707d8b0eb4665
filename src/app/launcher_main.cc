// launcher.exe: a narrow-character GUI entry.
#include <windows.h>

#include "app/startup_win.h"
#include "package/qvk_file_win.h"
#include "ui/launcher_window_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  // Archives are opened with wide paths and read/write sharing, so the worker
  // and the window thread (and the game) can hold the same package at once.
  SetQvkFileSystem(&QvkWinFileSystem());
  return RunLauncher(instance, command_line, RunLauncherWindow);
}
