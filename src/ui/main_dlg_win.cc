#include "ui/main_dlg_win.h"

#include "ui/download_offer_win.h"
#include "ui/first_start_check_win.h"
#include "ui/launch_arguments.h"
#include "ui/layer_dlg_win.h"
#include "base/launch_log.h"
#include "base/message_box_win.h"
#include "base/message_catalog_win.h"
#include "base/resource.h"
#include "base/text_win.h"
#include "hardware/graphics_probes_win.h"
#include "serverlist/server_list.h"
#include "update/current_zone_win.h"
#include "update/serverlist_download.h"
#include "update/updater_win.h"

namespace {


HICON LoadAppIcon(int width_metric, int height_metric) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                       IMAGE_ICON, GetSystemMetrics(width_metric),
                                       GetSystemMetrics(height_metric), LR_DEFAULTCOLOR));
}

}  // namespace

CMainDlg::CMainDlg(const LaunchContext& context)
    : launch_arguments_(context.launch_arguments),
      start_time_(context.start_time),
      command_text_(context.command_text),
      after_download_(context.after_download),
      probes_(context.graphics_probes) {
  if (launch_arguments_.size() >= kLaunchArgumentsCapacity) {
    launch_arguments_.resize(kLaunchArgumentsCapacity - 1);
  }
}

CMainDlg::~CMainDlg() = default;

bool CMainDlg::OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  switch (message) {
    case WM_INITDIALOG:
      *result = OnInitDialog();
      return true;
    case WM_DESTROY:
      OnDestroy();
      return false;
    case WM_ERASEBKGND:
      OnEraseBackground(reinterpret_cast<HDC>(wparam));
      *result = 1;
      return true;
    case WM_LBUTTONDOWN:
      StartWindowDrag(hwnd_);
      *result = 0;
      return true;
    case WM_MOVE:
      MoveToTopLeftOf(owner_, hwnd_);
      return false;
    case WM_COMMAND:
      if (LOWORD(wparam) != IDCANCEL) return false;
      CloseLauncher();
      *result = 0;
      return true;
    case UM_VERSION_READY:
      OnVersionReady();
      *result = 0;
      return true;
    case UM_UPDATE_ERROR:
      OnUpdateError(wparam, lparam);
      *result = 0;
      return true;
    default:
      return false;
  }
}

BOOL CMainDlg::OnInitDialog() {
  owner_ = GetWindow(hwnd_, GW_OWNER);
  SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) | WS_EX_LAYERED);
  SetLayeredWindowAttributes(hwnd_, kMainDialogColourKey, 0, LWA_COLORKEY);

  background_ = gdi::Bitmap(static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_BACKGROUND), IMAGE_BITMAP, 0, 0,
                 LR_DEFAULTCOLOR)));
  large_icon_.reset(LoadAppIcon(SM_CXICON, SM_CYICON));
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large_icon_.get()));
  small_icon_.reset(LoadAppIcon(SM_CXSMICON, SM_CYSMICON));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_.get()));

  d3d9_check_ = CheckD3D9() ? 1 : 0;
  LaunchLogf("D3D9Check:%d\n", d3d9_check_);
  if (d3d9_check_ == 0) {
    ReleaseDirect3D();
    Box(LoadMessage(IDS_GRAPHICS_CHECK_FAILED));
    CloseLauncher();
    return FALSE;
  }
  // The argument buffer keeps room for this suffix (kLaunchArgumentsReserve).
  AppendLaunchArgument(&launch_arguments_,
                       u"&d3d9check=" + std::u16string(1, static_cast<char16_t>(u'0' + d3d9_check_)));
  // A worker that cannot start reports kind 1 flag 1, which closes the launcher.
  StartWorker();
  return TRUE;
}

void CMainDlg::OnDestroy() {
  if (owner_) RemovePropW(owner_, kLauncherWindowProperty);
  StopWorker();
}

void CMainDlg::OnEraseBackground(HDC dc) {
  RECT client;
  GetClientRect(hwnd_, &client);
  BITMAP info = {};
  if (!background_.get() || !GetObjectW(background_.get(), sizeof info, &info)) return;
  gdi::MemoryDc memory(dc);
  if (!memory.get()) return;
  gdi::ScopedSelect selected(memory.get(), background_.get());
  StretchBlt(dc, 0, 0, client.right - client.left, client.bottom - client.top, memory.get(), 0, 0,
             info.bmWidth, info.bmHeight, SRCCOPY);
}

void CMainDlg::OnVersionReady() {
  // A send that arrives while the launcher closes only has to be released.
  if (closing_ || UpdaterStopRequested()) return;
  ServerList& list = GlobalServerList();
  if (list.required_version > list.current_version) {
    OfferUpdateOrTell(LoadMessage(IDS_VERSION_TOO_OLD), LoadMessage(IDS_OFFER_UPDATE_TOO_OLD));
    return;
  }
  list.current_zone = ChooseCurrentZone(list);
  if (!list.current_zone) {
    // A list without zones leaves nothing to start: the player is told that
    // the server list could not be used.
    Box(LoadMessage(IDS_SERVER_LIST_FAILED));
    CloseLauncher();
    return;
  }
  SaveCurrentZone(list);
  if (ZUpdater* worker = Updater()) worker->SetZoneLinkText(list.current_zone->link_text);
  RefreshGameExe();
}

void CMainDlg::OnUpdateError(WPARAM kind, LPARAM flag) {
  if (closing_ || UpdaterStopRequested()) return;
  if (kind == kUpdateErrorServerList) {
    if (flag == 0) {
      if (ZUpdater* worker = Updater()) worker->Post(UM_WORKER_GET_SERVERLIST, 0, 0);
      return;
    }
    Box(LoadMessage(IDS_SERVER_LIST_FAILED));
    CloseLauncher();
    return;
  }
  if (kind == kUpdateErrorMissingPackages) {
    const ZUpdater* worker = Updater();
    const wchar_t* missing = worker ? worker->missing_version_text() : L"";
    OfferUpdateOrTell(FormatMessageText(LoadMessage(IDS_PACKAGES_MISSING).c_str(), missing),
                      FormatMessageText(LoadMessage(IDS_OFFER_UPDATE_MISSING).c_str(), missing));
  }
}

void CMainDlg::Box(const std::wstring& text) {
  ShowMessageBox(hwnd_, text, LoadMessage(IDS_CAPTION), MB_OK);
}

void CMainDlg::OfferUpdateOrTell(const std::wstring& fact, const std::wstring& offer) {
  if (after_download_ || !DownloaderBeside()) {
    Box(fact);
  } else if (ShowMessageBox(hwnd_, offer, LoadMessage(IDS_CAPTION), MB_YESNO) == IDYES) {
    const bool started = StartDownloaderForUpdate(command_text_);
    LaunchLogf("update now: %s\n", started ? "downloader.exe started" : "downloader.exe cannot be started");
    if (!started) Box(fact);
  } else {
    LaunchLogWrite("update now: declined\n");
  }
  CloseLauncher();
}

void CMainDlg::CloseLauncher() {
  closing_ = true;
  ReleaseDirect3D();
  ShowWindow(hwnd_, SW_HIDE);
  if (owner_) SendMessageW(owner_, WM_CLOSE, 0, 0);
}

int CMainDlg::RunFirstStartCheck() {
  const int result = ::RunFirstStartCheck(window_index_, GlobalServerList().base_version,
                                          d3d9_check_ != 0, hwnd_, probes_);
  ReleaseDirect3D();  // the last use in a run
  return result;
}

bool CMainDlg::CheckD3D9() {
  if (!probes_) {
    own_probes_ = std::make_unique<CGraphicsProbes>();
    probes_ = own_probes_.get();
  }
  return probes_->TakeD3D9Check();
}

void CMainDlg::ReleaseDirect3D() {
  if (probes_) probes_->ReleaseDirect3D();
}

bool CMainDlg::StartWorker() { return StartUpdater(hwnd_); }

void CMainDlg::StopWorker() { StopUpdater(); }
