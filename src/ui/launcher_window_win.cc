#include "ui/launcher_window_win.h"

#include "hardware/graphics_probes_win.h"
#include "ui/layer_dlg_win.h"
#include "ui/main_dlg_win.h"

int RunLauncherWindow(const LaunchContext& context) {
  // Started before the windows are made: the probes' driver start-up runs
  // while the skin is loaded and drawn. Destroyed last, after the windows.
  CGraphicsProbes probes;
  LaunchContext with_probes = context;
  with_probes.graphics_probes = &probes;
  CMainDlg main_dialog(with_probes);
  CLayerDlg skin(&main_dialog);
  return static_cast<int>(skin.RunModal());
}
