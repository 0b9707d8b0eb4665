#include "base/directory_win.h"

#include <windows.h>

#include "base/text.h"
#include "base/text_win.h"

std::optional<std::vector<ListedFile>> ListFiles(const std::wstring& dir) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<ListedFile> files;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      files.push_back({ToU16(data.cFileName), ToU16(data.cAlternateFileName)});
    }
  } while (FindNextFileW(find, &data));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(find);
  if (!complete) return std::nullopt;
  return files;
}

bool MatchesExtension(const ListedFile& file, std::u16string_view extension) {
  return EndsWithIgnoringAsciiCase(file.name, extension) ||
         (!file.short_name.empty() && EndsWithIgnoringAsciiCase(file.short_name, extension));
}
