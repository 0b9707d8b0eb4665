#include "base/text_win.h"

#include <vector>

namespace {

std::wstring MultiToWide(UINT code_page, const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::string WideToMulti(UINT code_page, const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace

std::string Utf16ToAnsiCodePage(std::u16string_view text) noexcept {
  return WideToAnsi(std::wstring(text.begin(), text.end()));
}

std::wstring AnsiToWide(const std::string& text) { return MultiToWide(CP_ACP, text); }
std::string WideToAnsi(const std::wstring& text) { return WideToMulti(CP_ACP, text); }
std::string WideToUtf8(const std::wstring& text) { return WideToMulti(CP_UTF8, text); }

std::wstring CurrentDirectory() {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n == 0) return {};
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(n + 1);
  }
}

namespace {

// Length in code units of the character starting at text[i] (a surrogate pair
// counts as one character).
size_t CharLength(const std::wstring& text, size_t i) {
  if (i + 1 < text.size() && IS_HIGH_SURROGATE(text[i]) && IS_LOW_SURROGATE(text[i + 1])) return 2;
  return 1;
}

}  // namespace

std::string WideToAnsiBounded(const std::wstring& text, size_t max_bytes) {
  if (max_bytes <= 1 || text.empty()) return std::string();
  std::string out;
  char piece[16];
  for (size_t i = 0; i < text.size();) {
    size_t len = CharLength(text, i);
    int n = WideCharToMultiByte(CP_ACP, 0, text.data() + i, static_cast<int>(len), piece,
                                sizeof piece, nullptr, nullptr);
    if (n <= 0) n = 0;
    if (out.size() + static_cast<size_t>(n) > max_bytes - 1) break;
    out.append(piece, static_cast<size_t>(n));
    i += len;
  }
  return out;
}

std::wstring AnsiToWideBounded(const std::string& text, size_t max_chars) {
  if (max_chars <= 1 || text.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
  if (wide.size() > max_chars - 1) {
    size_t cut = max_chars - 1;
    if (cut > 0 && IS_HIGH_SURROGATE(wide[cut - 1])) --cut;
    wide.resize(cut);
  }
  return wide;
}
