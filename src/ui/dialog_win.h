// A small dialog framework: a window built from a dialog template whose
// messages go to one member handler. The static dialog procedure is noexcept
// and only forwards; the object must outlive its window.
#pragma once

#include <windows.h>

class CDialog {
 public:
  CDialog() = default;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;
  virtual ~CDialog() = default;

  // Runs the dialog from `template_id` modally (DialogBoxParamW) with the
  // executable's resources. Returns the EndDialog result, or -1 when the
  // window could not be created. Window thread.
  INT_PTR DoModal(int template_id, HWND owner);

  // Creates the dialog modelessly (CreateDialogParamW); null on failure. The
  // caller shows it. Window thread.
  HWND Create(int template_id, HWND owner);

  // The dialog's window, null before WM_INITDIALOG and after WM_NCDESTROY.
  // A reference to it stays valid for the object's life.
  const HWND& hwnd() const { return hwnd_; }

 protected:
  // One message. Returns true when handled, with the message's result in
  // *result (for WM_INITDIALOG: TRUE or FALSE as the focus rule wants).
  // Unhandled messages go to default dialog processing.
  virtual bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) = 0;

  HWND hwnd_ = nullptr;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam,
                                     LPARAM lparam) noexcept;
};

// Sends `window` WM_SYSCOMMAND SC_MOVE | HTCAPTION (0xF012), so that a mouse
// press anywhere on it drags it.
void StartWindowDrag(HWND window);

// Moves `window` so that its top-left corner is `source`'s, keeping its size
// and z-order. Nothing happens when either is null.
void MoveToTopLeftOf(HWND window, HWND source);
