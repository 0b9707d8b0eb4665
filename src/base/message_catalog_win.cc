#include "base/message_catalog_win.h"

#include <cstdarg>
#include <cwchar>

namespace {

// Wine's SetThreadUILanguage does not change what GetThreadUILanguage reports,
// so the language chosen at start-up is kept here as well.
LANGID g_interface_language = 0;

}  // namespace

LANGID CurrentLanguage() {
  return g_interface_language ? g_interface_language : GetThreadUILanguage();
}

LANGID SetInterfaceLanguage(LANGID language) {
  const LANGID set = SetThreadUILanguage(language);
  g_interface_language = language;
  return set;
}

std::wstring LoadMessageIn(unsigned id, LANGID language) {
  if (id > 0xFFFF) return {};
  HMODULE module = GetModuleHandleW(nullptr);
  // Texts live in blocks of sixteen: block id/16+1, slot id%16, each slot a
  // 16-bit length followed by that many UTF-16 units.
  HRSRC info = FindResourceExW(module, reinterpret_cast<LPCWSTR>(RT_STRING),
                               MAKEINTRESOURCEW(id / 16 + 1), language);
  if (!info) return {};
  HGLOBAL loaded = LoadResource(module, info);
  const DWORD size = SizeofResource(module, info);
  if (!loaded || size == 0) return {};
  const auto* units = static_cast<const WCHAR*>(LockResource(loaded));
  if (!units) return {};
  const size_t count = size / sizeof(WCHAR);
  size_t at = 0;
  for (unsigned slot = 0; slot < id % 16; ++slot) {
    if (at >= count) return {};
    at += 1 + units[at];
  }
  if (at >= count) return {};
  const size_t length = units[at];
  if (at + 1 + length > count) return {};
  return std::wstring(units + at + 1, length);
}

std::wstring LoadMessage(unsigned id) {
  const LANGID first = CurrentLanguage();
  std::wstring text = LoadMessageIn(id, first);
  if (!text.empty()) return text;
  return LoadMessageIn(id, first == kLangChinese ? kLangEnglish : kLangChinese);
}

std::wstring FormatMessageText(const wchar_t* format, ...) {
  wchar_t buffer[1024];
  va_list args;
  va_start(args, format);
  // msvcrt's formatter: %s is a wide string, as in the catalogue's texts.
  const int n = _vsnwprintf(buffer, 1023, format, args);
  va_end(args);
  buffer[1023] = L'\0';
  if (n < 0) return std::wstring(buffer);
  return std::wstring(buffer, static_cast<size_t>(n));
}
