#include "download/downloader_window_win.h"

#include <shobjidl.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/gdi_owners_win.h"
#include "base/launch_log.h"
#include "base/message_catalog_win.h"
#include "base/owners_win.h"
#include "base/text.h"
#include "base/text_win.h"
#include "download/downloader_resource.h"
#include "download/downloader_win.h"
#include "download/result_text.h"
#include "download/transfer_meter.h"

namespace {

constexpr wchar_t kWindowClass[] = L"TLDownloaderWindow";
constexpr UINT kProgressMessage = WM_APP + 1;  // the engine has new progress
constexpr UINT kResultMessage = WM_APP + 2;    // the engine's run ended
constexpr UINT_PTR kCountdownTimer = 1;
constexpr int kCountdownSeconds = 5;
// After it started the launcher: out of the way of the game soon.
constexpr int kStartingCountdownSeconds = 2;
constexpr int64_t kFiguresEveryMs = 500;       // speed and time left

// The launcher skin's colours.
constexpr COLORREF kPanel = RGB(38, 55, 96);
constexpr COLORREF kEdge = RGB(96, 150, 230);
constexpr COLORREF kGold = RGB(232, 188, 80);
constexpr COLORREF kTrack = RGB(70, 92, 140);
constexpr COLORREF kText = RGB(236, 240, 248);
constexpr COLORREF kDimText = RGB(176, 190, 220);

enum ControlId { kTitle = 100, kStatus, kBar, kBytes, kSpeed, kLeft, kPrimary, kSecondary };

// Layout at 96 dots an inch: x, y, width, height.
struct Box {
  int x, y, w, h;
};
constexpr SIZE kWindowSize = {520, 236};
constexpr Box kRing = {22, 24, 52, 52};
constexpr Box kBoxes[] = {
    {96, 18, 400, 28},    // kTitle
    {96, 50, 400, 58},    // kStatus
    {24, 118, 472, 10},   // kBar
    {24, 138, 190, 20},   // kBytes
    {214, 138, 120, 20},  // kSpeed
    {334, 138, 162, 20},  // kLeft
    {376, 186, 120, 32},  // kPrimary
    {244, 186, 120, 32},  // kSecondary
};

enum class State { kRunning, kStopping, kFailed, kDone };

std::wstring Text(unsigned id, const std::vector<std::string>& args = {}) {
  std::vector<std::u16string> wide;
  for (const std::string& a : args) wide.push_back(Utf8ToUtf16(a));
  return ToWide(FillText(ToU16(LoadMessage(id)), wide));
}

UINT WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto get_dpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (get_dpi && window) {
    if (const UINT dpi = get_dpi(window)) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

class DownloaderWindow {
 public:
  explicit DownloaderWindow(const WindowOptions& options) : options_(options) {}
  ~DownloaderWindow() {
    stop_ = true;
    if (engine_.joinable()) engine_.join();
  }

  int Run(HINSTANCE instance);

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);

  void CreateControls();
  void ApplyDpi(UINT dpi);
  void Paint();
  void DrawItem(const DRAWITEMSTRUCT& item);
  int Scaled(int value) const { return MulDiv(value, static_cast<int>(dpi_), 96); }
  HWND Control(ControlId id) const { return GetDlgItem(window_, id); }
  void SetText(ControlId id, const std::wstring& text);

  void StartRun();
  void OnProgress();
  void OnResult();
  void ShowFailure(const ResultText& text);
  void ShowButtons(unsigned primary, unsigned secondary);
  void OnPrimary();
  void Cancel();
  void OnCountdown();
  void KeepAwake(bool awake);
  void SetTaskbar(TBPFLAG state, uint64_t done, uint64_t total);
  void Finish(int exit_status);

  WindowOptions options_;
  HWND window_ = nullptr;
  UINT dpi_ = 96;
  gdi::Object<HFONT> title_font_;
  gdi::Object<HFONT> text_font_;
  gdi::Object<HBRUSH> panel_brush_{CreateSolidBrush(kPanel)};
  ComPtr<ITaskbarList3> taskbar_;
  UINT taskbar_created_ = RegisterWindowMessageW(L"TaskbarButtonCreated");

  State state_ = State::kRunning;
  int exit_status_ = kExitFailed;
  int countdown_ = 0;
  POINT cursor_at_open_ = {0, 0};
  std::thread engine_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;                  // guards progress_ and result_
  DownloadProgress progress_;
  RunResult result_;
  std::atomic<bool> progress_posted_{false};
  TransferMeter meter_;
  int64_t figures_ms_ = 0;
  int permille_ = -1;
};

int DownloaderWindow::Run(HINSTANCE instance) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &DownloaderWindow::Procedure;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDR_DOWNLOADER_ICON));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&wc)) return kExitFailed;

  // Centred on the primary monitor at its DPI; a move to another monitor
  // rescales it (WM_DPICHANGED).
  dpi_ = WindowDpi(nullptr);
  const int w = Scaled(kWindowSize.cx);
  const int h = Scaled(kWindowSize.cy);
  RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const std::wstring title = LoadMessage(IDS_DL_TITLE);
  window_ = CreateWindowExW(WS_EX_APPWINDOW, kWindowClass, title.c_str(), WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
                            work.left + (work.right - work.left - w) / 2, work.top + (work.bottom - work.top - h) / 2,
                            w, h, nullptr, nullptr, instance, this);
  if (!window_) return kExitFailed;
  CreateControls();
  // The monitor it opened on may have a DPI of its own.
  const UINT dpi = WindowDpi(window_);
  if (dpi != dpi_) {
    dpi_ = dpi;
    SetWindowPos(window_, nullptr, 0, 0, Scaled(kWindowSize.cx), Scaled(kWindowSize.cy),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ApplyDpi(dpi);
  ShowWindow(window_, SW_SHOW);
  GetCursorPos(&cursor_at_open_);
  UpdateWindow(window_);
  StartRun();

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(window_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return exit_status_;
}

LRESULT CALLBACK DownloaderWindow::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<DownloaderWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<DownloaderWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  return self->OnMessage(message, wparam, lparam);
}

LRESULT DownloaderWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == taskbar_created_ && taskbar_created_ != 0) {
    taskbar_.reset();
    if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                   reinterpret_cast<void**>(taskbar_.Receive()))) &&
        FAILED(taskbar_->HrInit())) {
      taskbar_.reset();
    }
    return 0;
  }
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers everything
    case WM_NCHITTEST: {
      // The panel drags the window: it has no title bar.
      const LRESULT hit = DefWindowProcW(window_, message, wparam, lparam);
      return hit == HTCLIENT ? HTCAPTION : hit;
    }
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      SetTextColor(dc, GetDlgCtrlID(reinterpret_cast<HWND>(lparam)) == kTitle ||
                               GetDlgCtrlID(reinterpret_cast<HWND>(lparam)) == kStatus
                           ? kText
                           : kDimText);
      SetBkColor(dc, kPanel);
      return reinterpret_cast<LRESULT>(panel_brush_.get());
    }
    case WM_DRAWITEM:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED) {
        if (LOWORD(wparam) == kPrimary) OnPrimary();
        if (LOWORD(wparam) == kSecondary) Finish(exit_status_);
      }
      if (LOWORD(wparam) == IDOK) OnPrimary();     // Enter
      if (LOWORD(wparam) == IDCANCEL) Cancel();    // Esc
      return 0;
    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      ApplyDpi(LOWORD(wparam));
      return 0;
    }
    case WM_TIMER:
      if (wparam == kCountdownTimer) OnCountdown();
      return 0;
    case kProgressMessage:
      OnProgress();
      return 0;
    case kResultMessage:
      OnResult();
      return 0;
    case WM_CLOSE:
      Cancel();
      return 0;
    case WM_DESTROY:
      KeepAwake(false);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window_, message, wparam, lparam);
  }
}

void DownloaderWindow::CreateControls() {
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE));
  const auto make = [&](ControlId id, const wchar_t* cls, DWORD style) {
    CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  };
  make(kTitle, L"STATIC", SS_LEFT | SS_NOPREFIX);
  make(kStatus, L"STATIC", SS_LEFT | SS_NOPREFIX);
  make(kBar, L"STATIC", SS_OWNERDRAW);
  make(kBytes, L"STATIC", SS_LEFT | SS_NOPREFIX);
  make(kSpeed, L"STATIC", SS_CENTER | SS_NOPREFIX);
  make(kLeft, L"STATIC", SS_RIGHT | SS_NOPREFIX);
  make(kPrimary, L"BUTTON", BS_OWNERDRAW | WS_TABSTOP);
  make(kSecondary, L"BUTTON", BS_OWNERDRAW | WS_TABSTOP);
  SetText(kTitle, LoadMessage(IDS_DL_TITLE));
}

void DownloaderWindow::ApplyDpi(UINT dpi) {
  dpi_ = dpi ? dpi : 96;
  // The message font of the interface language, at this monitor's size.
  const wchar_t* face = CurrentLanguage() == kLangChinese ? L"Microsoft YaHei" : L"Segoe UI";
  const auto font = [&](int points, int weight) {
    return gdi::Object<HFONT>(CreateFontW(-MulDiv(points, static_cast<int>(dpi_), 72), 0, 0, 0, weight, FALSE, FALSE,
                                          FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                          CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, face));
  };
  // The controls take the new fonts before the old ones go.
  gdi::Object<HFONT> title_font = font(13, FW_SEMIBOLD);
  gdi::Object<HFONT> text_font = font(9, FW_NORMAL);
  for (int id = kTitle; id <= kSecondary; ++id) {
    const Box& b = kBoxes[id - kTitle];
    HWND control = Control(static_cast<ControlId>(id));
    SetWindowPos(control, nullptr, Scaled(b.x), Scaled(b.y), Scaled(b.w), Scaled(b.h), SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(id == kTitle ? title_font.get() : text_font.get()),
                 FALSE);
  }
  title_font_ = std::move(title_font);
  text_font_ = std::move(text_font);
  RECT client;
  GetClientRect(window_, &client);
  // Rounded corners like the skin's; the window owns the region afterwards.
  SetWindowRgn(window_, CreateRoundRectRgn(0, 0, client.right + 1, client.bottom + 1, Scaled(24), Scaled(24)), TRUE);
  InvalidateRect(window_, nullptr, TRUE);
}

void DownloaderWindow::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  RECT client;
  GetClientRect(window_, &client);
  FillRect(dc, &client, panel_brush_.get());
  {
    // The edge and the golden ring of the launcher's skin.
    gdi::Object<HPEN> edge(CreatePen(PS_SOLID, Scaled(2), kEdge));
    gdi::ScopedSelect pen(dc, edge.get());
    gdi::ScopedSelect brush(dc, GetStockObject(NULL_BRUSH));
    RoundRect(dc, 1, 1, client.right - 1, client.bottom - 1, Scaled(24), Scaled(24));
  }
  {
    gdi::Object<HPEN> ring(CreatePen(PS_SOLID, Scaled(6), kGold));
    gdi::ScopedSelect pen(dc, ring.get());
    gdi::ScopedSelect brush(dc, GetStockObject(NULL_BRUSH));
    Ellipse(dc, Scaled(kRing.x), Scaled(kRing.y), Scaled(kRing.x + kRing.w), Scaled(kRing.y + kRing.h));
  }
  EndPaint(window_, &ps);
}

void DownloaderWindow::DrawItem(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  if (item.CtlID == kBar) {
    gdi::Object<HBRUSH> track(CreateSolidBrush(kTrack));
    FillRect(dc, &r, track.get());
    if (permille_ > 0) {
      RECT done = r;
      done.right = r.left + MulDiv(r.right - r.left, permille_, 1000);
      gdi::Object<HBRUSH> gold(CreateSolidBrush(kGold));
      FillRect(dc, &done, gold.get());
    }
    return;
  }
  // The two buttons: the first one golden, the other outlined.
  const bool primary = item.CtlID == kPrimary;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  FillRect(dc, &r, panel_brush_.get());
  const COLORREF fill = primary ? (pressed ? RGB(200, 158, 60) : kGold) : kPanel;
  gdi::Object<HBRUSH> fill_brush(CreateSolidBrush(fill));
  gdi::Object<HPEN> outline(CreatePen(PS_SOLID, Scaled(1), kGold));
  {
    gdi::ScopedSelect pen(dc, outline.get());
    gdi::ScopedSelect brush(dc, fill_brush.get());
    RoundRect(dc, r.left, r.top, r.right, r.bottom, Scaled(10), Scaled(10));
  }
  wchar_t label[128] = L"";
  GetWindowTextW(item.hwndItem, label, 128);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, disabled ? kDimText : primary ? kPanel : kGold);
  gdi::ScopedSelect font(dc, text_font_.get());
  DrawTextW(dc, label, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if (item.itemState & ODS_FOCUS) {
    RECT focus = r;
    InflateRect(&focus, -Scaled(4), -Scaled(4));
    DrawFocusRect(dc, &focus);
  }
}

void DownloaderWindow::SetText(ControlId id, const std::wstring& text) {
  HWND control = Control(id);
  wchar_t now[1024] = L"";
  GetWindowTextW(control, now, 1024);
  if (text != now) SetWindowTextW(control, text.c_str());
}

void DownloaderWindow::ShowButtons(unsigned primary, unsigned secondary) {
  SetText(kPrimary, primary ? LoadMessage(primary) : L"");
  ShowWindow(Control(kPrimary), primary ? SW_SHOW : SW_HIDE);
  EnableWindow(Control(kPrimary), TRUE);
  SetText(kSecondary, secondary ? LoadMessage(secondary) : L"");
  ShowWindow(Control(kSecondary), secondary ? SW_SHOW : SW_HIDE);
  InvalidateRect(Control(kPrimary), nullptr, TRUE);
  if (primary) SetFocus(Control(kPrimary));
}

void DownloaderWindow::StartRun() {
  KillTimer(window_, kCountdownTimer);
  const Blocker blocker = ClaimDownloaderRun();
  if (blocker != Blocker::kNone) {
    LaunchLogf("refused: %s is running\n", BlockerName(blocker));
    exit_status_ = kExitRefused;
    ShowFailure(TextForBlocker(blocker));
    return;
  }
  if (engine_.joinable()) engine_.join();
  state_ = State::kRunning;
  exit_status_ = kExitFailed;
  stop_ = false;
  meter_ = TransferMeter();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    progress_ = DownloadProgress();
  }
  figures_ms_ = 0;
  permille_ = 0;
  SetText(kStatus, LoadMessage(IDS_DL_LOOKING));
  for (ControlId id : {kBytes, kSpeed, kLeft}) SetText(id, L"");
  SetText(kBar, L"0%");
  InvalidateRect(Control(kBar), nullptr, FALSE);
  ShowButtons(IDS_DL_CANCEL, 0);
  KeepAwake(true);
  SetTaskbar(TBPF_INDETERMINATE, 0, 0);

  DownloadHooks hooks;
  hooks.write_version = &WriteInstallationVersion;
  hooks.adopt_keys = &WriteAdoptedKeys;
  hooks.progress = [this](const DownloadProgress& p) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      progress_ = p;
    }
    // One message waits at most: the window reads the newest progress.
    if (!progress_posted_.exchange(true) && !PostMessageW(window_, kProgressMessage, 0, 0)) {
      progress_posted_ = false;  // a full queue: the next report tries again
    }
  };
  engine_ = std::thread([this, hooks, installation = ReadInstallation()] {
    const RunResult result = RunDownload(installation, options_.settings, hooks, stop_);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      result_ = result;
    }
    PostMessageW(window_, kResultMessage, 0, 0);
  });
}

void DownloaderWindow::OnProgress() {
  progress_posted_ = false;
  DownloadProgress p;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    p = progress_;
  }
  if (state_ != State::kRunning || p.bytes_total == 0) return;
  const int64_t now = static_cast<int64_t>(GetTickCount64());
  meter_.Sample(now, p.bytes_done, p.bytes_total);
  if (!p.package.empty()) SetText(kStatus, Text(IDS_DL_FETCHING, {p.package}));
  const int permille = static_cast<int>(p.bytes_done * 1000 / p.bytes_total);
  if (permille != permille_) {
    permille_ = permille;
    SetText(kBar, std::to_wstring(permille / 10) + L"%");
    InvalidateRect(Control(kBar), nullptr, FALSE);
    SetTaskbar(TBPF_NORMAL, p.bytes_done, p.bytes_total);
  }
  const double mib = 1024.0 * 1024.0;
  SetText(kBytes, Text(IDS_DL_BYTES, {OneDecimal(static_cast<double>(p.bytes_done) / mib),
                                      OneDecimal(static_cast<double>(p.bytes_total) / mib)}));
  // The speed and the time left change more calmly than the bar.
  if (figures_ms_ != 0 && now - figures_ms_ < kFiguresEveryMs) return;
  figures_ms_ = now;
  const int64_t left = meter_.seconds_left();
  if (left < 0) {
    SetText(kLeft, L"");
  } else if (left >= 60) {
    SetText(kLeft, Text(IDS_DL_LEFT_MINUTES, {std::to_string(left / 60), std::to_string(left % 60)}));
  } else {
    SetText(kLeft, Text(IDS_DL_LEFT_SECONDS, {std::to_string(left)}));
  }
  // The speed last: whoever reads it finds the time left beside it.
  if (meter_.speed() > 0) SetText(kSpeed, Text(IDS_DL_SPEED, {OneDecimal(meter_.speed() / mib)}));
}

void DownloaderWindow::OnResult() {
  RunResult r;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    r = result_;
  }
  if (engine_.joinable()) engine_.join();
  LaunchLogf("result: %s\n", DescribeResult(r).c_str());
  KeepAwake(false);
  if (r.status == RunStatus::kCancelled) {
    exit_status_ = kExitFailed;
    Finish(exit_status_);
    return;
  }
  if (r.status != RunStatus::kUpToDate && r.status != RunStatus::kUpdated) {
    ShowFailure(TextForResult(r));
    return;
  }
  state_ = State::kDone;
  exit_status_ = kExitDone;
  SetTaskbar(TBPF_NOPROGRESS, 0, 0);
  if (r.status == RunStatus::kUpdated) {
    permille_ = 1000;
    SetText(kBar, L"100%");
    InvalidateRect(Control(kBar), nullptr, FALSE);
  }
  if (r.status == RunStatus::kUpdated && progress_.bytes_total > 0) {
    const double mib = 1024.0 * 1024.0;
    const std::string total = OneDecimal(static_cast<double>(progress_.bytes_total) / mib);
    SetText(kBytes, Text(IDS_DL_BYTES, {total, total}));
  }
  SetText(kSpeed, L"");
  SetText(kLeft, L"");
  const ResultText text = TextForResult(r);
  std::wstring status = Text(text.id, text.args);
  countdown_ = kCountdownSeconds;
  if (options_.then_start_launcher) {
    // The launcher refuses to run beside this program's semaphore.
    ReleaseDownloaderRun();
    const DWORD error = StartLauncherAfterDownload(options_.launcher_args);
    LaunchLogf("start launcher.exe: %lu\n", static_cast<unsigned long>(error));
    if (error != ERROR_SUCCESS) {
      exit_status_ = kExitFailed;
      ShowFailure({IDS_DL_FAIL_START_LAUNCHER, {std::to_string(error)}});
      return;
    }
    status += L" " + LoadMessage(IDS_DL_STARTING_GAME);
    countdown_ = kStartingCountdownSeconds;
  }
  if (options_.close_when_done) {
    Finish(kExitDone);
    return;
  }
  ShowButtons(IDS_DL_CLOSE, 0);
  SetText(kPrimary, Text(IDS_DL_CLOSE_IN, {std::to_string(countdown_)}));
  SetTimer(window_, kCountdownTimer, 1000, nullptr);
  SetText(kStatus, status);
}

void DownloaderWindow::ShowFailure(const ResultText& text) {
  // The text last: whoever reads it finds the buttons that go with it.
  state_ = State::kFailed;
  SetText(kSpeed, L"");
  SetText(kLeft, L"");
  ShowButtons(IDS_DL_RETRY, IDS_DL_CLOSE);
  SetText(kStatus, Text(text.id, text.args));
  SetTaskbar(TBPF_ERROR, permille_ > 0 ? static_cast<uint64_t>(permille_) : 1, 1000);
  FlashWindow(window_, TRUE);
}

void DownloaderWindow::OnPrimary() {
  switch (state_) {
    case State::kRunning: Cancel(); break;
    case State::kStopping: break;
    case State::kFailed: StartRun(); break;
    case State::kDone: Finish(kExitDone); break;
  }
}

void DownloaderWindow::Cancel() {
  if (state_ == State::kRunning) {
    // The engine keeps the partial files and ends within some 100 ms;
    // its result closes the window.
    state_ = State::kStopping;
    stop_ = true;
    SetText(kStatus, LoadMessage(IDS_DL_STOPPING));
    EnableWindow(Control(kPrimary), FALSE);
    return;
  }
  if (state_ == State::kStopping) return;
  Finish(exit_status_);
}

void DownloaderWindow::OnCountdown() {
  // The pointer moved onto the window: the player is reading; it stays. (A
  // pointer that merely rests where the window opened does not count.)
  POINT cursor;
  RECT rect;
  if (GetCursorPos(&cursor) && GetWindowRect(window_, &rect) && PtInRect(&rect, cursor) &&
      (cursor.x != cursor_at_open_.x || cursor.y != cursor_at_open_.y)) {
    KillTimer(window_, kCountdownTimer);
    SetText(kPrimary, LoadMessage(IDS_DL_CLOSE));
    InvalidateRect(Control(kPrimary), nullptr, TRUE);
    return;
  }
  if (--countdown_ <= 0) {
    Finish(kExitDone);
    return;
  }
  SetText(kPrimary, Text(IDS_DL_CLOSE_IN, {std::to_string(countdown_)}));
  InvalidateRect(Control(kPrimary), nullptr, TRUE);
}

void DownloaderWindow::KeepAwake(bool awake) {
  SetThreadExecutionState(awake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

void DownloaderWindow::SetTaskbar(TBPFLAG state, uint64_t done, uint64_t total) {
  if (!taskbar_) return;
  taskbar_->SetProgressState(window_, state);
  if (total > 0) taskbar_->SetProgressValue(window_, done, total);
}

void DownloaderWindow::Finish(int exit_status) {
  exit_status_ = exit_status;
  KillTimer(window_, kCountdownTimer);
  DestroyWindow(window_);
}

}  // namespace

int RunDownloaderWindow(HINSTANCE instance, const WindowOptions& options) {
  DownloaderWindow window(options);
  return window.Run(instance);
}
