#include "ui/skin_geometry.h"

#include <algorithm>
#include <climits>

namespace {

int Half(int64_t screen, int64_t size) {
  const int64_t value = (screen - size) / 2;  // C++ division truncates toward zero
  return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace

WindowOrigin CentredOrigin(int screen_width, int screen_height, int width, int height) {
  return {Half(screen_width, width), Half(screen_height, height)};
}

uint32_t DibRowBytes(int width) {
  if (width <= 0) return 0;
  const int64_t bytes = ((static_cast<int64_t>(width) * 32 + 31) / 8) & ~int64_t{3};
  return bytes > INT32_MAX ? 0 : static_cast<uint32_t>(bytes);
}

uint32_t DibImageBytes(int width, int height) {
  const uint32_t row = DibRowBytes(width);
  if (row == 0 || height <= 0) return 0;
  const int64_t total = static_cast<int64_t>(row) * height;
  return total > INT32_MAX ? 0 : static_cast<uint32_t>(total);
}
