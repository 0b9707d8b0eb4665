// The dialog templates as the windows rely on them: borderless popups without
// a caption bar, of the given size and font.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "base/resource.h"

namespace {

struct DialogTemplate {
  DWORD style = 0;
  int cx = 0, cy = 0, items = -1;
  std::wstring title, font;
  int point_size = 0, weight = 0, charset = 0;
};

// Reads a DIALOGEX template's header; returns false if it is not one.
bool ReadDialogTemplate(int id, DialogTemplate* out) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), reinterpret_cast<LPCWSTR>(RT_DIALOG));
  if (!info) return false;
  const auto* p = static_cast<const BYTE*>(LockResource(LoadResource(module, info)));
  const DWORD size = SizeofResource(module, info);
  if (!p || size < 26) return false;
  auto word = [&](size_t at) { return static_cast<WORD>(p[at] | (p[at + 1] << 8)); };
  auto dword = [&](size_t at) { return static_cast<DWORD>(word(at) | (word(at + 2) << 16)); };
  if (word(0) != 1 || word(2) != 0xFFFF) return false;
  out->style = dword(12);
  out->items = word(16);
  out->cx = static_cast<short>(word(22));
  out->cy = static_cast<short>(word(24));
  size_t at = 26;
  auto skip_name = [&](std::wstring* text) {
    if (at + 2 <= size && word(at) == 0xFFFF) {
      at += 4;
      return;
    }
    while (at + 2 <= size && word(at) != 0) {
      if (text) *text += static_cast<wchar_t>(word(at));
      at += 2;
    }
    at += 2;
  };
  skip_name(nullptr);  // menu
  skip_name(nullptr);  // class
  skip_name(&out->title);
  if (out->style & DS_SETFONT) {
    if (at + 6 > size) return false;
    out->point_size = word(at);
    out->weight = word(at + 2);
    out->charset = p[at + 5];
    at += 6;
    skip_name(&out->font);
  }
  return true;
}

TEST(DialogTemplates, AreCaptionlessPopupsWithTheirFonts) {
  const struct {
    int id, cx, cy, weight;
  } cases[] = {{IDD_MAIN_DIALOG, 98, 70, 700}, {IDD_LAYER_DIALOG, 571, 346, 400}};
  for (const auto& c : cases) {
    DialogTemplate t;
    ASSERT_TRUE(ReadDialogTemplate(c.id, &t)) << c.id;
    EXPECT_EQ(t.style, static_cast<DWORD>(WS_POPUP | DS_SETFONT)) << c.id;
    EXPECT_EQ(t.items, 0) << c.id;
    EXPECT_EQ(t.cx, c.cx) << c.id;
    EXPECT_EQ(t.cy, c.cy) << c.id;
    EXPECT_EQ(t.title, L"") << c.id;
    EXPECT_EQ(t.font, L"宋体") << c.id;
    EXPECT_EQ(t.point_size, 10) << c.id;
    EXPECT_EQ(t.weight, c.weight) << c.id;
    EXPECT_EQ(t.charset, 134) << c.id;
  }
}

TEST(Resources, IconAndBackgroundBitmapArePresent) {
  HMODULE module = GetModuleHandleW(nullptr);
  HBITMAP bitmap = static_cast<HBITMAP>(
      LoadImageW(module, MAKEINTRESOURCEW(IDB_BACKGROUND), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  ASSERT_TRUE(bitmap);
  BITMAP info = {};
  GetObjectW(bitmap, sizeof info, &info);
  EXPECT_EQ(info.bmWidth, 4);
  EXPECT_EQ(info.bmHeight, 4);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 255));
  EXPECT_EQ(GetPixel(dc, 3, 3), RGB(255, 0, 255));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bitmap);
  EXPECT_TRUE(LoadImageW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 32, 32, 0));
}

// Windows loads the manifest's assemblies for the architecture it names: a
// 64-bit program that names x86 gets the old common controls, or does not
// start at all.
TEST(Resources, ManifestNamesThisBuildsArchitecture) {
#if defined(__x86_64__)
  const std::string expected = "amd64";
#else
  const std::string expected = "x86";
#endif
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_TRUE(found);
  const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
  ASSERT_TRUE(data);
  const std::string manifest(data, SizeofResource(module, found));
  const std::string key = "processorArchitecture=\"";
  int named = 0;
  for (size_t at = manifest.find(key); at != std::string::npos; at = manifest.find(key, at + 1)) {
    const size_t start = at + key.size();
    EXPECT_EQ(manifest.substr(start, manifest.find('"', start) - start), expected);
    ++named;
  }
  EXPECT_EQ(named, 2) << "the program and the Common-Controls dependency";
}

}  // namespace
