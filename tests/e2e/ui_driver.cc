// The end-to-end tests' hands and eyes on the Windows desktop under Wine.
// Every command prints its findings as UTF-8 lines on standard output and
// exits 0 on success, 1 when what it waited for did not come.
//
//   wait-window CAPTION MS          wait for a visible top-level window
//   answer CAPTION BUTTON MS        wait for a message box (CAPTION or *),
//                                   print "caption=" and "text=", press
//                                   BUTTON (ok, yes, no, cancel)
//   hold-semaphore NAME             create the semaphore, print "held", keep
//                                   it until a line (or EOF) on stdin
//   hold-file PATH                  open the file without sharing (created if
//                                   missing), print "held", keep it open until
//                                   a line (or EOF) on stdin
//   mark-window                     create a minimised top-level window that
//                                   carries the launcher property, print
//                                   "marked", wait for a line on stdin, then
//                                   print "iconic=" and "foreground="
//   inspect CAPTION MS              print rect, extended style, property
//   minimise CAPTION MS / close CAPTION MS
//   close-owned CAPTION MS          post WM_CLOSE to the visible window that
//                                   the CAPTION window owns (a hosted dialog)
//   drag CAPTION DX DY MS           drag the window at its centre by (DX, DY)
//   screenshot FILE.png [X Y W H]   save the screen (or that part of it) as PNG
//   backdrop                        cover the desktop with a checkerboard at
//                                   the bottom of the z-order, print "shown",
//                                   keep it until a line (or EOF) on stdin
//   pixel X Y                       print the screen colour at (X, Y) as "rgb=R,G,B"
//   acp                             print "acp=" and "oemcp=", the code pages
//                                   Wine chose from the Unix locale
//   controls CAPTION MS             print "ctl<ID>=TEXT" for each visible
//                                   child window of the CAPTION window
//   wait-text CAPTION TEXT MS       wait until a visible child's text holds
//                                   TEXT, then print the controls
//   click CAPTION LABEL MS          wait for a visible, enabled child whose
//                                   text is LABEL and click it with the mouse
//   hover CAPTION MS                move the mouse onto the window (a third
//                                   of the way across and down)
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const wchar_t kProperty[] = L"ZARQONLINE";

void Print(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  out += "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
}

std::wstring WindowText(HWND window) {
  wchar_t text[4096] = L"";
  GetWindowTextW(window, text, 4096);
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[256] = L"";
  GetClassNameW(window, name, 256);
  return name;
}

struct Search {
  std::wstring caption;
  bool message_box_only;
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (!IsWindowVisible(window)) return TRUE;
  if (search->message_box_only && ClassName(window) != L"#32770") return TRUE;
  if (search->message_box_only && !GetDlgItem(window, 0xFFFF)) return TRUE;
  if (search->caption != L"*" && WindowText(window) != search->caption) return TRUE;
  search->found = window;
  return FALSE;
}

// Polls the desktop until such a window appears or `ms` have passed: the
// window belongs to another process, so there is no event to wait on.
HWND WaitFor(const std::wstring& caption, bool message_box_only, int ms) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  for (;;) {
    Search search = {caption, message_box_only, nullptr};
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    if (static_cast<int>(end - GetTickCount()) <= 0) return nullptr;
    Sleep(50);
  }
}

struct Owned {
  HWND owner;
  HWND found;
};

BOOL CALLBACK VisitOwned(HWND candidate, LPARAM param) {
  auto* owned = reinterpret_cast<Owned*>(param);
  if (GetWindow(candidate, GW_OWNER) != owned->owner || !IsWindowVisible(candidate)) return TRUE;
  owned->found = candidate;
  return FALSE;
}

int ButtonId(const std::wstring& name) {
  if (name == L"yes") return IDYES;
  if (name == L"no") return IDNO;
  if (name == L"cancel") return IDCANCEL;
  return IDOK;
}

void WaitForStdinLine() {
  char buffer[64];
  DWORD read = 0;
  ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr);
}

int Answer(const std::wstring& caption, const std::wstring& button, int ms) {
  HWND box = WaitFor(caption, true, ms);
  if (!box) {
    Print(L"no message box");
    return 1;
  }
  wchar_t text[4096] = L"";
  GetDlgItemTextW(box, 0xFFFF, text, 4096);
  Print(L"caption=" + WindowText(box));
  Print(L"text=" + std::wstring(text));
  const int id = ButtonId(button);
  if (!GetDlgItem(box, id)) {
    Print(L"no such button");
    return 1;
  }
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
  return 0;
}

DWORD WINAPI ReadStdinThenSignal(LPVOID event) {
  WaitForStdinLine();
  SetEvent(static_cast<HANDLE>(event));
  return 0;
}

// Keeps this thread's windows answering (so other processes can restore,
// activate or paint them) until the test writes a line.
void ServeWindowsUntilStdinLine() {
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE reader = CreateThread(nullptr, 0, ReadStdinThenSignal, done, 0, nullptr);
  for (;;) {
    const DWORD r = MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) break;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  CloseHandle(reader);
  CloseHandle(done);
}

LRESULT CALLBACK MarkProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(window, message, wparam, lparam);
}

int MarkWindow() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = MarkProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"UiDriverMarked";
  RegisterClassW(&wc);
  HWND window = CreateWindowW(L"UiDriverMarked", L"marked launcher stand-in", WS_OVERLAPPEDWINDOW, 100, 100, 200,
                              100, nullptr, nullptr, wc.hInstance, nullptr);
  SetPropW(window, kProperty, reinterpret_cast<HANDLE>(1));
  ShowWindow(window, SW_SHOWMINIMIZED);
  Print(L"marked");
  ServeWindowsUntilStdinLine();
  Print(L"iconic=" + std::to_wstring(IsIconic(window) ? 1 : 0));
  Print(L"foreground=" + std::to_wstring(GetForegroundWindow() == window ? 1 : 0));
  DestroyWindow(window);
  return 0;
}

LRESULT CALLBACK BackdropProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_ERASEBKGND) {
    RECT client;
    GetClientRect(window, &client);
    HDC dc = reinterpret_cast<HDC>(wparam);
    HBRUSH light = CreateSolidBrush(RGB(236, 236, 236)), dark = CreateSolidBrush(RGB(176, 186, 200));
    for (int y = 0; y < client.bottom; y += 24) {
      for (int x = 0; x < client.right; x += 24) {
        RECT cell = {x, y, x + 24, y + 24};
        FillRect(dc, &cell, ((x + y) / 24) % 2 ? dark : light);
      }
    }
    DeleteObject(light);
    DeleteObject(dark);
    return 1;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// A stand-in desktop, so screenshots show what shines through transparent pixels.
int Backdrop() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = BackdropProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"UiDriverBackdrop";
  RegisterClassW(&wc);
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"UiDriverBackdrop", L"backdrop", WS_POPUP,
                                0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                                nullptr, wc.hInstance, nullptr);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  UpdateWindow(window);
  Print(L"shown");
  ServeWindowsUntilStdinLine();
  DestroyWindow(window);
  return 0;
}

int Inspect(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  Print(L"rect=" + std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) + L"," +
        std::to_wstring(rect.right - rect.left) + L"," + std::to_wstring(rect.bottom - rect.top));
  Print(L"exstyle=" + std::to_wstring(GetWindowLongW(window, GWL_EXSTYLE)));
  Print(L"layered=" + std::to_wstring((GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED) ? 1 : 0));
  Print(L"property=" + std::to_wstring(reinterpret_cast<INT_PTR>(GetPropW(window, kProperty))));
  Print(L"iconic=" + std::to_wstring(IsIconic(window) ? 1 : 0));
  Print(L"screen=" + std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L"," +
        std::to_wstring(GetSystemMetrics(SM_CYSCREEN)));
  return 0;
}

int Drag(HWND window, int dx, int dy) {
  RECT rect;
  GetWindowRect(window, &rect);
  const int x = (rect.left + rect.right) / 2, y = (rect.top + rect.bottom) / 2;
  SetForegroundWindow(window);
  SetCursorPos(x, y);
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  for (int step = 1; step <= 10; ++step) {
    Sleep(30);  // a person's drag takes time; the system coalesces moves
    SetCursorPos(x + dx * step / 10, y + dy * step / 10);
    mouse_event(MOUSEEVENTF_MOVE, 0, 0, 0, 0);
  }
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  Sleep(200);
  return Inspect(window);
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  if (IsWindowVisible(child)) reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
  return TRUE;
}

std::vector<HWND> VisibleChildren(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

void PrintControls(HWND window) {
  for (HWND child : VisibleChildren(window)) {
    Print(L"ctl" + std::to_wstring(GetDlgCtrlID(child)) + L"=" + WindowText(child));
  }
}

// Polls the other process's window until a visible child's text holds
// `text` (WaitFor's reason: no event crosses processes).
int WaitText(HWND window, const std::wstring& text, int ms) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  for (;;) {
    for (HWND child : VisibleChildren(window)) {
      if (WindowText(child).find(text) != std::wstring::npos) {
        PrintControls(window);
        return 0;
      }
    }
    if (!IsWindow(window) || static_cast<int>(end - GetTickCount()) <= 0) {
      Print(L"text not found");
      if (IsWindow(window)) PrintControls(window);
      return 1;
    }
    Sleep(50);
  }
}

// Moves the pointer onto the control and presses and releases the left
// button, as a person would.
int Click(HWND window, const std::wstring& label, int ms) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  for (;;) {
    for (HWND child : VisibleChildren(window)) {
      if (WindowText(child) != label || !IsWindowEnabled(child)) continue;
      RECT rect;
      GetWindowRect(child, &rect);
      SetForegroundWindow(window);
      SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
      mouse_event(MOUSEEVENTF_MOVE, 0, 0, 0, 0);
      mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
      Sleep(50);  // a person's click lasts a moment
      mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
      // The pointer leaves the window again, as after a click and a move.
      SetCursorPos(0, 0);
      mouse_event(MOUSEEVENTF_MOVE, 0, 0, 0, 0);
      Print(L"clicked");
      return 0;
    }
    if (!IsWindow(window) || static_cast<int>(end - GetTickCount()) <= 0) {
      Print(L"no such button");
      if (IsWindow(window)) PrintControls(window);
      return 1;
    }
    Sleep(50);
  }
}

int Screenshot(const std::wstring& path, RECT area) {
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  const int w = area.right - area.left, h = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, area.left, area.top, SRCCOPY);
  SelectObject(memory, old);
  int rc = 1;
  {
    Gdiplus::Bitmap image(bitmap, nullptr);
    UINT count = 0, size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    std::string buffer(size, '\0');
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(&buffer[0]);
    Gdiplus::GetImageEncoders(count, size, codecs);
    for (UINT i = 0; i < count; ++i) {
      if (std::wstring(codecs[i].MimeType) == L"image/png") {
        rc = image.Save(path.c_str(), &codecs[i].Clsid, nullptr) == Gdiplus::Ok ? 0 : 1;
      }
    }
  }
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  Gdiplus::GdiplusShutdown(token);
  Print(rc == 0 ? L"saved" : L"failed");
  return rc;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  auto arg = [&](int i) { return i < argc ? std::wstring(argv[i]) : std::wstring(); };
  auto ms = [&](int i) { return i < argc ? _wtoi(argv[i]) : 10000; };

  if (command == L"wait-window") {
    HWND window = WaitFor(arg(2), false, ms(3));
    Print(window ? L"found" : L"not found");
    return window ? 0 : 1;
  }
  if (command == L"answer") return Answer(arg(2), arg(3), ms(4));
  if (command == L"hold-semaphore") {
    HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 1, arg(2).c_str());
    Print(semaphore ? L"held" : L"failed");
    WaitForStdinLine();
    return semaphore ? 0 : 1;
  }
  if (command == L"hold-file") {
    HANDLE file = CreateFileW(arg(2).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool held = file != INVALID_HANDLE_VALUE;
    Print(held ? L"held" : L"failed");
    WaitForStdinLine();
    if (held) CloseHandle(file);
    return held ? 0 : 1;
  }
  if (command == L"mark-window") return MarkWindow();
  if (command == L"screenshot") {
    RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (argc >= 7) {
      area.left = _wtoi(argv[3]);
      area.top = _wtoi(argv[4]);
      area.right = area.left + _wtoi(argv[5]);
      area.bottom = area.top + _wtoi(argv[6]);
    }
    return Screenshot(arg(2), area);
  }
  if (command == L"backdrop") return Backdrop();
  if (command == L"acp") {
    Print(L"acp=" + std::to_wstring(GetACP()));
    Print(L"oemcp=" + std::to_wstring(GetOEMCP()));
    return 0;
  }
  if (command == L"pixel") {
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, _wtoi(arg(2).c_str()), _wtoi(arg(3).c_str()));
    ReleaseDC(nullptr, screen);
    Print(L"rgb=" + std::to_wstring(GetRValue(colour)) + L"," + std::to_wstring(GetGValue(colour)) + L"," +
          std::to_wstring(GetBValue(colour)));
    return colour == CLR_INVALID ? 1 : 0;
  }

  const bool three_args = command == L"wait-text" || command == L"click";
  HWND window = WaitFor(arg(2), false, command == L"drag" ? ms(5) : three_args ? ms(4) : ms(3));
  if (!window) {
    Print(L"not found");
    return 1;
  }
  if (command == L"inspect") return Inspect(window);
  if (command == L"minimise") {
    ShowWindow(window, SW_MINIMIZE);
    return Inspect(window);
  }
  if (command == L"close") {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
  }
  if (command == L"close-owned") {
    Owned owned = {window, nullptr};
    EnumWindows(VisitOwned, reinterpret_cast<LPARAM>(&owned));
    if (!owned.found) {
      Print(L"no owned window");
      return 1;
    }
    PostMessageW(owned.found, WM_CLOSE, 0, 0);
    return 0;
  }
  if (command == L"drag") return Drag(window, _wtoi(argv[3]), _wtoi(argv[4]));
  if (command == L"controls") {
    PrintControls(window);
    return 0;
  }
  if (command == L"wait-text") return WaitText(window, arg(3), ms(4));
  if (command == L"hover") {
    RECT rect;
    GetWindowRect(window, &rect);
    // Not the centre: a window opens centred, maybe under a resting pointer.
    SetCursorPos(rect.left + (rect.right - rect.left) / 3, rect.top + (rect.bottom - rect.top) / 3);
    mouse_event(MOUSEEVENTF_MOVE, 0, 0, 0, 0);
    Print(L"hovering");
    return 0;
  }
  if (command == L"click") return Click(window, arg(3), ms(4));
  return 2;
}
