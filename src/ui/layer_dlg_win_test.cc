#include "ui/layer_dlg_win.h"

#include <gtest/gtest.h>

#include <objidl.h>
#include <gdiplus.h>

#include <type_traits>
#include <utility>
#include <vector>

#include "base/message_catalog_win.h"
#include "app/startup_win.h"
#include "base/gdi_owners_win.h"
#include "base/resource.h"
#include "ui/skin_geometry.h"
#include "support/ui_test_support_win.h"

using namespace ui_test;

namespace {

// Writes a PNG of width by height: the left half opaque red, the right half
// fully transparent.
bool WriteLogo(const wchar_t* path, int width, int height) {
  if (!EnsureGdiplusStarted()) return false;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) pixels[y * width + x] = x < width / 2 ? 0xFFFF0000u : 0;
  }
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppARGB,
                                                     reinterpret_cast<BYTE*>(pixels.data()),
                                                     &bitmap) != Gdiplus::Ok) {
    return false;
  }
  const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  const bool saved =
      Gdiplus::DllExports::GdipSaveImageToFile(bitmap, path, &png, nullptr) == Gdiplus::Ok;
  Gdiplus::DllExports::GdipDisposeImage(bitmap);
  return saved;
}

RECT WindowRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

// Records what the GDI owners give back while it lives, and whether a
// deleted object was really gone at that moment: one still selected into a
// device context is not (Windows refuses to delete it; Wine deletes it only
// when it is deselected).
class ReleaseRecorder {
 public:
  struct Release {
    gdi::Released what;
    void* handle;
    bool gone;
  };

  ReleaseRecorder() {
    releases_.reserve(32);
    current_ = this;
    gdi::SetReleaseObserverForTest(&Record);
  }
  ~ReleaseRecorder() {
    gdi::SetReleaseObserverForTest(nullptr);
    current_ = nullptr;
  }
  ReleaseRecorder(const ReleaseRecorder&) = delete;
  ReleaseRecorder& operator=(const ReleaseRecorder&) = delete;

  const std::vector<Release>& releases() const { return releases_; }
  std::vector<gdi::Released> order() const {
    std::vector<gdi::Released> order;
    for (const Release& r : releases_) order.push_back(r.what);
    return order;
  }
  std::vector<Release> objects() const {
    std::vector<Release> objects;
    for (const Release& r : releases_) {
      if (r.what == gdi::Released::kObject) objects.push_back(r);
    }
    return objects;
  }

 private:
  static void Record(gdi::Released what, void* handle) noexcept {
    if (current_ && current_->releases_.size() < current_->releases_.capacity()) {
      current_->releases_.push_back({what, handle, GetObjectType(handle) == 0});
    }
  }
  static inline ReleaseRecorder* current_ = nullptr;
  std::vector<Release> releases_;
};

TEST(GdiOwners, SelectionEndsFirstSoTheBitmapIsReallyDeleted) {
  using gdi::Released;
  ReleaseRecorder recorder;
  HBITMAP bitmap_handle = nullptr;
  {
    gdi::WindowDc screen(nullptr);
    ASSERT_NE(screen.get(), nullptr);
    gdi::MemoryDc memory(screen.get());
    ASSERT_NE(memory.get(), nullptr);
    gdi::Bitmap bitmap(CreateCompatibleBitmap(screen.get(), 8, 8));
    ASSERT_NE(bitmap.get(), nullptr);
    bitmap_handle = bitmap.get();
    const HGDIOBJ initial = GetCurrentObject(memory.get(), OBJ_BITMAP);
    {
      gdi::ScopedSelect selected(memory.get(), bitmap.get());
      ASSERT_TRUE(selected);
      EXPECT_EQ(GetCurrentObject(memory.get(), OBJ_BITMAP), bitmap.get());
    }
    EXPECT_EQ(GetCurrentObject(memory.get(), OBJ_BITMAP), initial);
    // Selected again until the end of the scope, where it ends first.
    gdi::ScopedSelect selected(memory.get(), bitmap.get());
    ASSERT_TRUE(selected);
  }
  EXPECT_EQ(recorder.order(), (std::vector<Released>{Released::kSelection, Released::kSelection,
                                                     Released::kObject, Released::kMemoryDc,
                                                     Released::kWindowDc}));
  ASSERT_EQ(recorder.objects().size(), 1u);
  EXPECT_EQ(recorder.objects()[0].handle, bitmap_handle);
  EXPECT_TRUE(recorder.objects()[0].gone);
}

TEST(GdiOwners, AreMoveOnlyAndGiveTheirHandleBackOnce) {
  static_assert(!std::is_copy_constructible_v<gdi::Bitmap> &&
                !std::is_copy_assignable_v<gdi::Bitmap> &&
                std::is_nothrow_move_constructible_v<gdi::Bitmap> &&
                std::is_nothrow_move_assignable_v<gdi::Bitmap>);
  static_assert(!std::is_copy_constructible_v<gdi::MemoryDc> &&
                !std::is_copy_constructible_v<gdi::WindowDc> &&
                !std::is_copy_constructible_v<gdi::ScopedSelect> &&
                std::is_nothrow_move_constructible_v<gdi::MemoryDc> &&
                std::is_nothrow_move_constructible_v<gdi::WindowDc> &&
                std::is_nothrow_move_constructible_v<gdi::ScopedSelect>);
  ReleaseRecorder recorder;
  HBITMAP handle = nullptr;
  {
    gdi::Bitmap first(CreateBitmap(1, 1, 1, 32, nullptr));
    handle = first.get();
    ASSERT_NE(handle, nullptr);
    gdi::Bitmap second(std::move(first));
    EXPECT_EQ(first.get(), nullptr);
    gdi::Bitmap third;
    third = std::move(second);
    EXPECT_EQ(third.get(), handle);
  }
  ASSERT_EQ(recorder.objects().size(), 1u);
  EXPECT_EQ(recorder.objects()[0].handle, handle);
  EXPECT_TRUE(recorder.objects()[0].gone);
}

class LayerDlgTest : public testing::Test {
 protected:
  void SetUp() override { SetInterfaceLanguage(kLangEnglish); }
  ScratchInstall install;
  BoxRecorder boxes;
};

TEST_F(LayerDlgTest, LogoGivesACentredLayeredWindowAtItsSize) {
  ASSERT_TRUE(WriteLogo(L"System/logo.png", 60, 40));
  CLayerDlg skin(nullptr);
  ASSERT_NE(skin.Create(IDD_LAYER_DIALOG, nullptr), nullptr);
  const HWND hwnd = skin.hwnd();

  EXPECT_EQ(skin.image_size().cx, 60);
  EXPECT_EQ(skin.image_size().cy, 40);
  EXPECT_TRUE(skin.skin_drawn());
  const WindowOrigin origin =
      CentredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), 60, 40);
  const RECT rect = WindowRect(hwnd);
  EXPECT_EQ(rect.left, origin.x);
  EXPECT_EQ(rect.top, origin.y);
  EXPECT_EQ(rect.right - rect.left, 60);
  EXPECT_EQ(rect.bottom - rect.top, 40);
  EXPECT_TRUE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);

  EXPECT_EQ(GetPropW(hwnd, kLauncherWindowProperty), reinterpret_cast<HANDLE>(1));
  wchar_t title[64] = L"";
  GetWindowTextW(hwnd, title, 64);
  EXPECT_STREQ(title, L"Velmaranthos start");
  EXPECT_NE(SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0), 0);
  DestroyWindow(hwnd);
}

// The skin's bitmap (width x height x 4 bytes) must be deselected from its
// memory device context before it is deleted, or it stays for the life of
// the process.
TEST_F(LayerDlgTest, SkinBitmapIsDeselectedBeforeItIsDeleted) {
  ASSERT_TRUE(WriteLogo(L"System/logo.png", 60, 40));
  std::vector<ReleaseRecorder::Release> objects;
  {
    ReleaseRecorder recorder;
    CLayerDlg skin(nullptr);
    ASSERT_NE(skin.Create(IDD_LAYER_DIALOG, nullptr), nullptr);
    EXPECT_TRUE(skin.skin_drawn());
    objects = recorder.objects();
    DestroyWindow(skin.hwnd());
  }
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(GetObjectType(objects[0].handle), 0u);
  EXPECT_TRUE(objects[0].gone) << "deleted while still selected";
}

TEST_F(LayerDlgTest, MissingOrUnreadableLogoGivesAnEmptyWindowAtTheCentre) {
  for (const char* logo : {static_cast<const char*>(nullptr), "not a png"}) {
    if (logo) WriteAll("System/logo.png", logo);
    CLayerDlg skin(nullptr);
    ASSERT_NE(skin.Create(IDD_LAYER_DIALOG, nullptr), nullptr);
    const RECT rect = WindowRect(skin.hwnd());
    EXPECT_EQ(rect.left, GetSystemMetrics(SM_CXSCREEN) / 2);
    EXPECT_EQ(rect.top, GetSystemMetrics(SM_CYSCREEN) / 2);
    EXPECT_EQ(rect.right - rect.left, 0);
    EXPECT_EQ(rect.bottom - rect.top, 0);
    EXPECT_FALSE(skin.skin_drawn());
    EXPECT_EQ(GetPropW(skin.hwnd(), kLauncherWindowProperty), reinterpret_cast<HANDLE>(1));
    DestroyWindow(skin.hwnd());
  }
}

void CALLBACK CloseMarkedWindow(HWND, UINT, UINT_PTR timer, DWORD) {
  if (HWND skin = FindMarkedLauncherWindow()) {
    KillTimer(nullptr, timer);
    PostMessageW(skin, WM_CLOSE, 0, 0);
  }
}

TEST_F(LayerDlgTest, ModalRunEndsWithOneOnClose) {
  CLayerDlg skin(nullptr);
  SetTimer(nullptr, 0, 20, &CloseMarkedWindow);
  EXPECT_EQ(skin.RunModal(), 1);
  EXPECT_EQ(skin.hwnd(), nullptr);
}

TEST_F(LayerDlgTest, FailedGraphicsCheckEndsTheModalRunAtOnce) {
  ScriptedMainDlg main_dialog(TestContext());
  main_dialog.d3d9 = false;
  CLayerDlg skin(&main_dialog);
  EXPECT_EQ(skin.RunModal(), 1);
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, LoadMessage(IDS_GRAPHICS_CHECK_FAILED));
  EXPECT_EQ(main_dialog.start_worker_calls, 0);
  // Both windows are gone; the dialog's teardown ran.
  EXPECT_EQ(main_dialog.hwnd(), nullptr);
  EXPECT_EQ(main_dialog.stop_worker_calls, 1);
}

TEST_F(LayerDlgTest, DraggingEitherWindowMovesBoth) {
  ASSERT_TRUE(WriteLogo(L"System/logo.png", 80, 50));
  ScriptedMainDlg main_dialog(TestContext());
  CLayerDlg skin(&main_dialog);
  ASSERT_NE(skin.Create(IDD_LAYER_DIALOG, nullptr), nullptr);
  const HWND main = main_dialog.hwnd();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(GetWindow(main, GW_OWNER), skin.hwnd());
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_EQ(main_dialog.start_worker_calls, 1);

  struct Move {
    bool skin;
    int x, y;
  } moves[] = {{true, 100, 120}, {false, 300, 50}, {true, -20, 7}};
  for (const Move& m : moves) {
    SetWindowPos(m.skin ? skin.hwnd() : main, nullptr, m.x, m.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const RECT s = WindowRect(skin.hwnd());
    const RECT d = WindowRect(main);
    EXPECT_EQ(s.left, m.x);
    EXPECT_EQ(s.top, m.y);
    EXPECT_EQ(d.left, m.x);
    EXPECT_EQ(d.top, m.y);
    EXPECT_EQ(s.right - s.left, 80);  // sizes unchanged
  }
  // Closing the skin window (the dialog's close path) removes the marker on
  // the way out.
  const HWND skin_window = skin.hwnd();
  DestroyWindow(skin_window);
  EXPECT_EQ(main_dialog.hwnd(), nullptr);
  EXPECT_EQ(main_dialog.stop_worker_calls, 1);
}

}  // namespace
