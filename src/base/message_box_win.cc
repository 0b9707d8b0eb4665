#include "base/message_box_win.h"

namespace {
MessageBoxHandler& TestHandler() {
  static MessageBoxHandler handler;
  return handler;
}
}  // namespace

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
  if (TestHandler()) return TestHandler()(owner, text, caption, type);
  return MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

void SetMessageBoxHandlerForTest(MessageBoxHandler handler) { TestHandler() = std::move(handler); }
