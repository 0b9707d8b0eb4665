#include "update/current_zone_win.h"

#include <windows.h>

#include "app/profile_win.h"
#include "update/serverlist_download.h"

std::u16string ReadSavedZone(const wchar_t* path) {
  const std::wstring zone =
      ReadProfileText(path, L"current", L"zone", L"", kSavedZoneUnits + 1);
  return std::u16string(zone.begin(), zone.end());
}

bool SaveCurrentZone(const ServerList& list, const wchar_t* path) {
  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
    // A new file starting with the UTF-16LE byte-order mark makes the profile
    // functions write it in UTF-16.
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      static const unsigned char kBom[2] = {0xFF, 0xFE};
      DWORD written = 0;
      WriteFile(file, kBom, sizeof kBom, &written, nullptr);
      CloseHandle(file);
    }
  } else {
    ClearReadOnlyForWrite(path);
  }
  if (list.current_zone == nullptr) return false;
  const std::u16string_view name = list.current_zone->Name();
  const bool zone_written =
      WriteProfileText(path, L"current", L"zone", std::wstring(name.begin(), name.end()));
  const bool version_written =
      WriteProfileText(path, L"current", L"version",
                       std::to_wstring(static_cast<int>(list.current_version)));
  return zone_written && version_written;
}
