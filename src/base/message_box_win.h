// The one way the launcher shows a message box. Tests install a handler that
// records the box and answers it, so no unit test waits on a person.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

using MessageBoxHandler =
    std::function<int(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type)>;

// Shows the box (MessageBoxW) or passes it to the test handler; returns the
// button pressed (IDOK, IDYES, IDNO, ...). Window thread only.
int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

// Installs a handler in place of the real box; an empty handler restores it.
void SetMessageBoxHandlerForTest(MessageBoxHandler handler);
