#include "update/current_zone.h"

#include <gtest/gtest.h>

namespace {

std::string Utf16Le(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

TEST(CurrentZoneFileBytes, MarkThenBothKeysInUtf16) {
  const struct {
    std::u16string zone;
    std::int32_t version;
    std::u16string text;
  } cases[] = {
      {u"North", 12003, u"[current]\r\nzone=North\r\nversion=12003\r\n"},
      {u"\u4E00\u533A", 0, u"[current]\r\nzone=\u4E00\u533A\r\nversion=0\r\n"},
      {u"", -1, u"[current]\r\nzone=\r\nversion=-1\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CurrentZoneFileBytes(c.zone, c.version), "\xFF\xFE" + Utf16Le(c.text));
  }
}

}  // namespace
