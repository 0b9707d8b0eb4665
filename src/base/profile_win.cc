#include "base/profile_win.h"

#include <vector>

std::wstring ReadProfileText(const std::wstring& path, const wchar_t* section, const wchar_t* key,
                             const wchar_t* fallback, size_t capacity) {
  if (capacity == 0) capacity = 1;
  std::vector<wchar_t> buffer(capacity, L'\0');
  DWORD n = GetPrivateProfileStringW(section, key, fallback, buffer.data(),
                                     static_cast<DWORD>(capacity), path.c_str());
  if (n >= capacity) n = static_cast<DWORD>(capacity - 1);
  return std::wstring(buffer.data(), n);
}

int ReadProfileNumber(const std::wstring& path, const wchar_t* section, const wchar_t* key,
                      int fallback) {
  return static_cast<int>(GetPrivateProfileIntW(section, key, fallback, path.c_str()));
}

void ClearReadOnlyForWrite(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
  }
}

bool WriteProfileText(const std::wstring& path, const wchar_t* section, const wchar_t* key,
                      const std::wstring& value) {
  ClearReadOnlyForWrite(path);
  return WritePrivateProfileStringW(section, key, value.c_str(), path.c_str()) != 0;
}

std::wstring CurrentDirectoryBounded(size_t max_chars) {
  wchar_t buffer[MAX_PATH + 1] = {};
  size_t limit = max_chars < MAX_PATH ? max_chars : MAX_PATH;
  DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(limit), buffer);
  if (n == 0 || n >= limit) return std::wstring();
  return std::wstring(buffer, n);
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
