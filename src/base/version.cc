#include "base/version.h"

#include <climits>
#include <cstdio>
#include <vector>

namespace {

bool IsSeparator(char16_t c) { return c == u'.' || c == u'*'; }

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

// Decimal string-to-int in the manner of atoi, but saturating instead of
// overflowing.
int32_t ToInt(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > int64_t{INT32_MAX} + 1) value = int64_t{INT32_MAX} + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  if (value < INT32_MIN) value = INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace

VersionNumber ParseVersionText(std::u16string_view text) {
  int32_t parts[3] = {0, 0, 0};
  size_t count = 0;
  size_t i = 0;
  while (i < text.size() && count < 3) {
    while (i < text.size() && IsSeparator(text[i])) ++i;
    if (i == text.size()) break;
    size_t start = i;
    while (i < text.size() && !IsSeparator(text[i])) ++i;
    parts[count++] = ToInt(text.substr(start, i - start));
  }
  char joined[48];
  std::snprintf(joined, sizeof joined, "%d%d%03d", static_cast<int>(parts[0]),
                static_cast<int>(parts[1]), static_cast<int>(parts[2]));
  std::u16string wide;
  for (const char* p = joined; *p; ++p) wide.push_back(static_cast<char16_t>(*p));
  int32_t value = ToInt(wide);
  return value < 0 ? 0 : static_cast<VersionNumber>(value);
}

VersionNumber ParseVersionText(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (char c : text) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return ParseVersionText(std::u16string_view(wide));
}

std::string FiveDigitForm(VersionNumber v) {
  char text[16];
  std::snprintf(text, sizeof text, "%05d", static_cast<int>(static_cast<int32_t>(v)));
  return text;
}

std::optional<VersionParts> SplitVersion(VersionNumber v) {
  if (v > static_cast<VersionNumber>(INT32_MAX)) return std::nullopt;
  std::string digits = FiveDigitForm(v);  // at least five digits, no sign
  VersionParts parts;
  parts.major = digits[0] - '0';
  parts.minor = digits[1] - '0';
  parts.build = (digits[2] - '0') * 100 + (digits[3] - '0') * 10 + (digits[4] - '0');
  return parts;
}

std::string DottedForm(const VersionParts& parts) {
  char text[48];
  std::snprintf(text, sizeof text, "%d.%d.%d", parts.major, parts.minor, parts.build);
  return text;
}

std::optional<std::string> RewindText(VersionNumber v, bool limit_build_255) {
  if (v == 0) return std::nullopt;
  std::optional<VersionParts> parts = SplitVersion(v - 1);
  if (!parts) return std::nullopt;
  if (limit_build_255 && parts->build > 255) parts->build = 255;
  return DottedForm(*parts);
}

std::string PatchPackagePath(VersionNumber v) { return "System/Verpatch" + FiveDigitForm(v) + ".qvk"; }
