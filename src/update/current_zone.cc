#include "update/current_zone.h"

namespace {

void AppendUtf16Le(std::string& out, std::u16string_view text) {
  for (const char16_t unit : text) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
}

}  // namespace

std::string CurrentZoneFileBytes(std::u16string_view zone, std::int32_t version) {
  std::string bytes(kUtf16LeMark, 2);
  AppendUtf16Le(bytes, u"[current]\r\nzone=");
  AppendUtf16Le(bytes, zone);
  AppendUtf16Le(bytes, u"\r\nversion=");
  const std::string number = std::to_string(version);
  AppendUtf16Le(bytes, std::u16string(number.begin(), number.end()));
  AppendUtf16Le(bytes, u"\r\n");
  return bytes;
}
