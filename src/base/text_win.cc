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
