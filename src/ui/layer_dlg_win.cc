#include "ui/layer_dlg_win.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>

#include "base/message_catalog_win.h"
#include "base/resource.h"
#include "base/gdi_owners_win.h"
#include "ui/main_dlg_win.h"
#include "ui/skin_geometry.h"

namespace gp = Gdiplus::DllExports;

namespace {

// Owners of the GDI+ objects of one skin build.
struct GdipImage {
  Gdiplus::GpImage* image = nullptr;
  ~GdipImage() {
    if (image) gp::GdipDisposeImage(image);
  }
};

struct GdipGraphics {
  Gdiplus::GpGraphics* graphics = nullptr;
  ~GdipGraphics() {
    if (graphics) gp::GdipDeleteGraphics(graphics);
  }
};

HICON LoadAppIcon(int width_metric, int height_metric) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                       IMAGE_ICON, GetSystemMetrics(width_metric),
                                       GetSystemMetrics(height_metric), LR_DEFAULTCOLOR));
}

}  // namespace

bool EnsureGdiplusStarted() {
  static const bool started = [] {
    Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback
    ULONG_PTR token = 0;
    return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
  }();
  return started;
}

CLayerDlg::~CLayerDlg() {
  if (large_icon_) DestroyIcon(large_icon_);
  if (small_icon_) DestroyIcon(small_icon_);
}

INT_PTR CLayerDlg::RunModal() { return DoModal(IDD_LAYER_DIALOG, nullptr); }

bool CLayerDlg::OnMessage(UINT message, WPARAM, LPARAM, LRESULT* result) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      *result = TRUE;
      return true;
    case WM_MOVE:
      if (main_dialog_) MoveToTopLeftOf(main_dialog_->hwnd(), hwnd_);
      return false;
    case WM_LBUTTONDOWN:
      StartWindowDrag(hwnd_);
      *result = 0;
      return true;
    case WM_CLOSE:
      EndDialog(hwnd_, 1);
      if (HWND owner = GetWindow(hwnd_, GW_OWNER)) SendMessageW(owner, WM_CLOSE, 0, 0);
      *result = 1;
      return true;
    default:
      return false;
  }
}

void CLayerDlg::OnInitDialog() {
  EnsureGdiplusStarted();
  SetPropW(hwnd_, kLauncherWindowProperty, reinterpret_cast<HANDLE>(1));
  SetWindowTextW(hwnd_, LoadMessage(IDS_CAPTION).c_str());

  large_icon_ = LoadAppIcon(SM_CXICON, SM_CYICON);
  small_icon_ = LoadAppIcon(SM_CXSMICON, SM_CYSMICON);
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large_icon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_));

  BuildSkin();

  // A main dialog that closed the launcher during its own initialisation
  // (failed graphics check) stays hidden.
  if (main_dialog_ && main_dialog_->Create(IDD_MAIN_DIALOG, hwnd_) && !main_dialog_->closing()) {
    ShowWindow(main_dialog_->hwnd(), SW_SHOW);
  }
}

void CLayerDlg::BuildSkin() {
  GdipImage image;
  UINT width = 0;
  UINT height = 0;
  if (gp::GdipLoadImageFromFileICM(kSkinImagePath, &image.image) == Gdiplus::Ok) {
    if (gp::GdipGetImageWidth(image.image, &width) != Gdiplus::Ok ||
        gp::GdipGetImageHeight(image.image, &height) != Gdiplus::Ok || width > INT32_MAX ||
        height > INT32_MAX) {
      width = height = 0;
    }
  }
  const int w = static_cast<int>(width);
  const int h = static_cast<int>(height);
  const WindowOrigin origin =
      CentredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), w, h);
  SetWindowPos(hwnd_, nullptr, origin.x, origin.y, w, h, SWP_NOZORDER);
  image_size_ = {w, h};
  if (w == 0 || h == 0) return;

  const LONG_PTR ex_style = GetWindowLongPtrW(hwnd_, GWL_EXSTYLE);
  if (!(ex_style & WS_EX_LAYERED)) SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, ex_style | WS_EX_LAYERED);
  RECT rect;
  GetWindowRect(hwnd_, &rect);

  const uint32_t image_bytes = DibImageBytes(w, h);
  if (image_bytes == 0) return;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;  // bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = image_bytes;

  gdi::WindowDc window_dc(hwnd_);
  if (!window_dc.get()) return;
  gdi::MemoryDc memory(window_dc.get());
  if (!memory.get()) return;
  void* bits = nullptr;
  gdi::Bitmap dib(CreateDIBSection(window_dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dib.get() || !bits) return;
  // Declared after the bitmap and the memory DC, so it ends before them: the
  // bitmap is deselected before either is released.
  gdi::ScopedSelect selected(memory.get(), dib.get());
  if (!selected) return;
  std::memset(bits, 0, image_bytes);

  {
    GdipGraphics graphics;
    if (gp::GdipCreateFromHDC(memory.get(), &graphics.graphics) != Gdiplus::Ok) return;
    if (gp::GdipDrawImageRectI(graphics.graphics, image.image, 0, 0, w, h) != Gdiplus::Ok) return;
  }

  POINT destination = {rect.left, rect.top};
  SIZE size = {w, h};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  skin_drawn_ = UpdateLayeredWindow(hwnd_, window_dc.get(), &destination, &size, memory.get(),
                                    &source, 0, &blend, ULW_ALPHA) != FALSE;
}
