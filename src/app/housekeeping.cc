#include "app/housekeeping.h"

#include <cstdint>

namespace {

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// One "%<width>d" conversion: leading white space is skipped and not counted;
// then at most `width` characters of an optional sign and digits.
bool ScanInt(const std::u16string& text, size_t* at, int width, int* value) {
  size_t i = *at;
  while (i < text.size() && IsSpace(text[i])) ++i;
  const size_t end = i + width;
  bool negative = false;
  if (i < text.size() && i < end && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  long long number = 0;
  bool any = false;
  while (i < text.size() && i < end && text[i] >= u'0' && text[i] <= u'9') {
    number = number * 10 + (text[i] - u'0');
    any = true;
    ++i;
  }
  if (!any) return false;
  *value = static_cast<int>(negative ? -number : number);
  *at = i;
  return true;
}

}  // namespace

bool IsTempCopy(const std::u16string& name, const std::u16string& pattern) {
  return name.find(u".exe") != std::u16string::npos && name.find(pattern) != std::u16string::npos;
}

int ScanLogDate(const std::u16string& text, int* year, int* month, int* day) {
  size_t at = 0;
  if (!ScanInt(text, &at, 4, year)) return 0;
  if (!ScanInt(text, &at, 2, month)) return 1;
  if (!ScanInt(text, &at, 2, day)) return 2;
  return 3;
}

bool IsExpiredDatedLog(const std::u16string& name, const std::u16string& pattern, std::time_t now) {
  if (name.find(u".log") == std::u16string::npos || name.find(pattern) == std::u16string::npos) {
    return false;
  }
  if (name.size() < pattern.size()) return false;
  int year = 0, month = 0, day = 0;
  if (ScanLogDate(name.substr(pattern.size()), &year, &month, &day) != 3) return false;
  if (year <= 0 || month <= 0 || day <= 0) return false;

  std::tm* local = std::localtime(&now);
  if (!local) return false;
  std::tm dated = *local;
  dated.tm_year = year - 1900;
  dated.tm_mon = month - 1;
  dated.tm_mday = day;
  const std::time_t then = std::mktime(&dated);
  if (then == static_cast<std::time_t>(-1)) return false;
  const int64_t age_days = (static_cast<int64_t>(now) - static_cast<int64_t>(then)) / 60 / 60 / 24;
  return age_days > 7;
}
