// launcher.exe: a narrow-character GUI entry.
#include <windows.h>

#include "ui/launch_arguments.h"
#include "app/startup_win.h"
#include "package/qvk_file_win.h"
#include "ui/launcher_window_win.h"
#include "update/http_transfer.h"
#include "update/tls_server_check_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Archives are opened with wide paths and read/write sharing, so the worker
  // and the window thread (and the game) can hold the same package at once.
  SetQvkFileSystem(&QvkWinFileSystem());
  // https servers are checked against the system's certificate stores even
  // where the TLS layer accepts any certificate (Schannel under Wine).
  SetTlsServerCheck(&CheckTlsServer);
  // The runtime's own text compares signed chars with the blank, so it drops
  // leading characters of a double-byte code page (936: "区=三" came as "=三").
  return RunLauncher(instance, CommandTextAfterProgramName(GetCommandLineA()), RunLauncherWindow);
}
