// The main dialog: the invisible controller of a launcher run. It checks the
// graphics hardware, starts the updater worker, and on the worker's verdict
// either closes the launcher with one message box or chooses and saves the
// zone, refreshes the game executable and starts the game.
//
// On screen it is a popup from template 129 owned by the skin window and kept
// at its top-left corner, painted entirely in the colour key RGB(255,0,255)
// and so invisible. Everything runs on the window thread; the worker reaches
// it only by UM_UPDATE_ERROR (posted) and UM_VERSION_READY (sent).
//
// Every end of a run goes through CloseLauncher(): the dialog hides and sends
// WM_CLOSE to the skin window, whose modal run ends; destroying the windows
// then removes the marker property and stops and joins the worker.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "ui/launch_context.h"
#include "base/gdi_owners_win.h"
#include "base/owners_win.h"
#include "package/patch_list.h"
#include "ui/dialog_win.h"

inline constexpr COLORREF kMainDialogColourKey = RGB(255, 0, 255);

class CGraphicsProbes;

class CMainDlg : public CDialog {
 public:
  explicit CMainDlg(const LaunchContext& context);
  ~CMainDlg() override;

  // Reads [run] game_exe of "updatecfg.ini", refreshes System/<game_exe> from
  // the patch package that holds its newest copy and starts it with
  // LaunchGame; on a failure row shows message 271 and closes the launcher.
  void RefreshGameExe();

  // Starts System\<name> with the launch arguments (shell first, then a
  // direct start), logs the outcome, waits 2 s and closes the launcher. A
  // name over 63 characters is refused as a file that does not exist.
  void LaunchGame(const std::wstring& name);

  // The graphics level check before the start: 1 when the game may start.
  // May show the first-start notice owned by the dialog.
  virtual int RunFirstStartCheck();

  // Hides the dialog and sends WM_CLOSE to its owner, the skin window. Later
  // worker reports are ignored.
  void CloseLauncher();

  const std::u16string& launch_arguments() const { return launch_arguments_; }
  bool d3d9_check() const { return d3d9_check_ != 0; }
  int64_t launch_time() const { return launch_time_; }
  bool closing() const { return closing_; }
  // The window-side patch-list index, loaded by RefreshGameExe.
  const PatchListIndex& window_index() const { return window_index_; }

 protected:
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) override;

  // What the dialog asks of the system; tests replace these.
  struct ShellOutcome {
    INT_PTR result = 0;   // the shell open's result; above 32 is success
    DWORD last_error = 0;  // GetLastError right after the call
  };
  // The real check takes the result of the run's graphics probes (started
  // here when start-up handed none), whose Direct3D 9 interface is kept for
  // the graphics level choice before the start.
  virtual bool CheckD3D9();
  virtual bool StartWorker();  // StartUpdater for this dialog's window
  virtual void StopWorker();   // StopUpdater
  virtual ShellOutcome ShellOpen(const std::wstring& path, const std::wstring& parameters,
                                 const std::wstring& directory);
  virtual bool StartProcess(const std::wstring& application, const std::wstring& command_line,
                            const std::wstring& directory);
  virtual int IsAdministrator();
  virtual int64_t Now();
  virtual void Pause(DWORD milliseconds);

 private:
  BOOL OnInitDialog();
  void OnDestroy();
  void OnEraseBackground(HDC dc);
  void OnVersionReady();
  void OnUpdateError(WPARAM kind, LPARAM flag);
  void Box(const std::wstring& text);
  // Shows `fact` and closes; or, when the download program lies beside the
  // launcher and did not start it, offers it with `offer` (Yes starts it).
  void OfferUpdateOrTell(const std::wstring& fact, const std::wstring& offer);
  void ReleaseDirect3D();

  uint8_t d3d9_check_ = 0;
  UniqueIcon large_icon_;
  UniqueIcon small_icon_;
  std::u16string launch_arguments_;  // at most kLaunchArgumentsCapacity - 1 units
  PatchListIndex window_index_;
  gdi::Bitmap background_;
  int64_t start_time_ = 0;
  int64_t launch_time_ = 0;
  std::u16string command_text_;  // the front end's text, for the download program
  bool after_download_ = false;
  HWND owner_ = nullptr;  // the skin window, recorded at initialisation
  bool closing_ = false;
  // The run's graphics probes; their Direct3D interface is released after
  // the graphics level choice or when the launcher closes. Null when a test
  // replaces the check.
  CGraphicsProbes* probes_ = nullptr;
  std::unique_ptr<CGraphicsProbes> own_probes_;  // when start-up handed none
};

// Looks IsUserAnAdmin up in shell32.dll (loaded once, kept loaded) and calls
// it: 0 or 1; 1 when the module or the function is missing.
int QueryIsUserAnAdmin();
