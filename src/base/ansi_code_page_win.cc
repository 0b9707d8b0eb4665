#include "base/ansi_code_page_win.h"

#include "base/text_win.h"

std::string Utf16ToAnsiCodePage(std::u16string_view text) noexcept {
  return WideToAnsi(std::wstring(text.begin(), text.end()));
}
