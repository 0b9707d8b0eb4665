#include "ui/dialog_win.h"

INT_PTR CDialog::DoModal(int template_id, HWND owner) {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id), owner,
                         &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

HWND CDialog::Create(int template_id, HWND owner) {
  return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id), owner,
                            &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wparam,
                                     LPARAM lparam) noexcept {
  CDialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = hwnd;
  } else {
    self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  // Messages before WM_INITDIALOG (WM_SETFONT and the like) have no object.
  if (!self) return FALSE;

  LRESULT result = 0;
  const bool handled = self->OnMessage(message, wparam, lparam, &result);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
  }
  if (!handled) return FALSE;
  if (message == WM_INITDIALOG) return static_cast<INT_PTR>(result);
  SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
  return TRUE;
}

void StartWindowDrag(HWND window) {
  SendMessageW(window, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
}

void MoveToTopLeftOf(HWND window, HWND source) {
  if (!window || !source) return;
  RECT rect;
  if (!GetWindowRect(source, &rect)) return;
  SetWindowPos(window, nullptr, rect.left, rect.top, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
}
