// The launcher's top-level window: a borderless layered window from dialog
// template 220 showing "System/logo.png" with its per-pixel transparency,
// centred on the screen at the image's size. It carries the window property
// that a second launcher looks for, and hosts the main dialog as an owned
// popup at its top-left corner; dragging either moves both. Window thread.
#pragma once

#include <windows.h>

#include "ui/dialog_win.h"

class CMainDlg;

inline constexpr wchar_t kSkinImagePath[] = L"System/logo.png";

// The window property that marks the running launcher's top-level window.
inline constexpr wchar_t kLauncherWindowProperty[] = L"ZARQONLINE";

class CLayerDlg : public CDialog {
 public:
  // `main_dialog` is not owned and must outlive the window; it may be null
  // (tests), then no main dialog is opened.
  explicit CLayerDlg(CMainDlg* main_dialog) : main_dialog_(main_dialog) {}
  ~CLayerDlg() override;

  // The modal run: DoModal(220) without owner. 1 after WM_CLOSE, -1 when the
  // window could not be created.
  INT_PTR RunModal();

  // Size of the skin image drawn at initialisation (0 by 0 without one).
  SIZE image_size() const { return image_size_; }
  // Whether the layered contents were set with UpdateLayeredWindow.
  bool skin_drawn() const { return skin_drawn_; }

 protected:
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) override;

 private:
  void OnInitDialog();
  // Loads the image, sizes and centres the window and sets its layered
  // contents. Any failure leaves a 0-by-0 window at the screen centre.
  void BuildSkin();

  CMainDlg* main_dialog_;
  HICON large_icon_ = nullptr;
  HICON small_icon_ = nullptr;
  SIZE image_size_ = {0, 0};
  bool skin_drawn_ = false;
};

// Starts GDI+ once for the rest of the process (version 1, no debug
// callback, its background thread and external codecs allowed). False if it
// could not be started.
bool EnsureGdiplusStarted();
