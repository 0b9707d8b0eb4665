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
