// launcher.exe: a narrow-character GUI entry.
#include <windows.h>

#include "app/startup_win.h"
#include "ui/launcher_window_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  return RunLauncher(instance, command_line, RunLauncherWindow);
}
