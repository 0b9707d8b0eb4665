#include "ui/skin_geometry.h"

#include <gtest/gtest.h>

#include <climits>

TEST(CentredOrigin, Table) {
  struct Case {
    int screen_w, screen_h, w, h, x, y;
  } cases[] = {
      {1920, 1080, 600, 400, 660, 340},
      {1920, 1080, 2000, 400, -40, 340},  // wider than the screen
      {1920, 1080, 0, 0, 960, 540},       // missing logo: a 0-by-0 window at the centre
      {1280, 1024, 601, 401, 339, 311},   // odd remainder truncated
      {1280, 1024, 1283, 1027, -1, -1},   // -1.5 truncates toward zero
      {800, 600, 800, 600, 0, 0},
  };
  for (const Case& c : cases) {
    WindowOrigin o = CentredOrigin(c.screen_w, c.screen_h, c.w, c.h);
    EXPECT_EQ(o.x, c.x) << c.w;
    EXPECT_EQ(o.y, c.y) << c.h;
  }
}

TEST(CentredOrigin, ExtremeSizesDoNotOverflow) {
  WindowOrigin o = CentredOrigin(INT_MAX, INT_MIN, INT_MIN, INT_MAX);
  EXPECT_EQ(o.x, INT_MAX);
  EXPECT_EQ(o.y, -INT_MAX);  // -(2^32 - 1) / 2, truncated
}

TEST(DibSize, Table) {
  struct Case {
    int w, h;
    uint32_t row, image;
  } cases[] = {
      {1, 1, 4, 4},
      {600, 400, 2400, 960000},
      {0, 400, 0, 0},
      {-5, 10, 0, 0},
      {10, 0, 40, 0},
      {1 << 29, 1, 0, 0},   // 2 GiB rows
      {40000, 40000, 160000, 0},  // the surface would pass 2 GiB
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DibRowBytes(c.w), c.row) << c.w;
    EXPECT_EQ(DibImageBytes(c.w, c.h), c.image) << c.w << "x" << c.h;
  }
}
