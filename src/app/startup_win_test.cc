#include "app/startup_win.h"

#include <gtest/gtest.h>

namespace {

TEST(FindMarkedLauncherWindow, FindsOnlyATopLevelWindowCarryingTheProperty) {
  HWND window = CreateWindowExW(0, L"STATIC", L"marked", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(window);
  // Other programs on the desktop may carry the property; ours must not be
  // found before it is marked.
  EXPECT_NE(FindMarkedLauncherWindow(), window);
  SetPropW(window, kLauncherWindowProperty, reinterpret_cast<HANDLE>(1));
  EXPECT_EQ(FindMarkedLauncherWindow(), window);

  // A marked child window is not a launcher.
  RemovePropW(window, kLauncherWindowProperty);
  HWND child = CreateWindowExW(0, L"STATIC", L"child", WS_CHILD, 0, 0, 5, 5, window, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  SetPropW(child, kLauncherWindowProperty, reinterpret_cast<HANDLE>(1));
  EXPECT_NE(FindMarkedLauncherWindow(), child);
  EXPECT_NE(FindMarkedLauncherWindow(), window);
  RemovePropW(child, kLauncherWindowProperty);
  DestroyWindow(window);
}

}  // namespace
