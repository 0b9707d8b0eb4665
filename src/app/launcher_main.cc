// launcher.exe: a narrow-character GUI entry.
#include <windows.h>

#include "app/startup_win.h"

namespace {

// The launcher window is not part of this build yet: start-up ends where its
// modal run would begin, as if it had been closed.
int RunLauncherWindow(const LaunchContext&) { return 1; }

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  return RunLauncher(instance, command_line, RunLauncherWindow);
}
