// A stand-in for the game client: appends its command line and working
// directory (UTF-8) to stub_record.txt beside itself and exits. With the
// argument "--hold" it keeps running until its window gets WM_CLOSE, so a
// test can keep the executable file busy. The record also carries the time
// the stub's code began to run and the time its process was created, in
// milliseconds since 1970, for the launch benchmark.
#include <windows.h>

#include <string>

namespace {

LRESULT CALLBACK HoldProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wparam, lparam);
}

std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  return out;
}

// A FILETIME (100 ns since 1601) as milliseconds since 1970.
long long UnixMs(const FILETIME& time) {
  ULARGE_INTEGER t;
  t.LowPart = time.dwLowDateTime;
  t.HighPart = time.dwHighDateTime;
  return static_cast<long long>(t.QuadPart / 10000ULL) - 11644473600000LL;
}

void Record(long long start_ms) {
  wchar_t exe[MAX_PATH * 4] = L"";
  GetModuleFileNameW(nullptr, exe, MAX_PATH * 4);
  std::wstring record = exe;
  record = record.substr(0, record.find_last_of(L"\\/") + 1) + L"stub_record.txt";
  FILETIME created = {}, unused[3] = {};
  const long long created_ms = GetProcessTimes(GetCurrentProcess(), &created, &unused[0], &unused[1],
                                               &unused[2])
                                   ? UnixMs(created)
                                   : 0;
  wchar_t cwd[MAX_PATH * 4] = L"";
  GetCurrentDirectoryW(MAX_PATH * 4, cwd);
  const std::string line = "exe=" + Utf8(exe) + "\ncmdline=" + Utf8(GetCommandLineW()) +
                           "\ncwd=" + Utf8(cwd) + "\nstart_ms=" + std::to_string(start_ms) +
                           "\ncreated_ms=" + std::to_string(created_ms) + "\n";
  HANDLE file = CreateFileW(record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR command_line, int) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  Record(UnixMs(now));
  if (wcsstr(command_line, L"--hold")) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = HoldProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"StubGameHold";
    RegisterClassW(&wc);
    HWND window = CreateWindowW(L"StubGameHold", L"stub game holding", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, instance, nullptr);
    MSG msg;
    while (window && GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return 0;
}
