#include "ui/launcher_window_win.h"

#include "ui/layer_dlg_win.h"
#include "ui/main_dlg_win.h"

int RunLauncherWindow(const LaunchContext& context) {
  CMainDlg main_dialog(context);
  CLayerDlg skin(&main_dialog);
  return static_cast<int>(skin.RunModal());
}
