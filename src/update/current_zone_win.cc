#include "update/current_zone_win.h"

#include <windows.h>

#include "base/profile_win.h"
#include "update/atomic_file.h"
#include "update/current_zone.h"
#include "update/serverlist_download.h"

std::u16string ReadSavedZone(const wchar_t* path) {
  const std::wstring zone =
      ReadProfileText(path, L"current", L"zone", L"", kSavedZoneUnits + 1);
  return std::u16string(zone.begin(), zone.end());
}

bool SaveCurrentZone(const ServerList& list, const wchar_t* path) {
  // The file is always replaced whole (written beside it, then renamed over
  // it), so a process killed half-way leaves the previous file, never one
  // that holds only its mark or the new zone beside the old version.
  if (list.current_zone == nullptr) {
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
      WriteFileReplacing(path, kUtf16LeMark, 2);
    }
    return false;
  }
  const std::string bytes = CurrentZoneFileBytes(
      list.current_zone->Name(), static_cast<std::int32_t>(list.current_version));
  ClearReadOnlyForWrite(path);
  return WriteFileReplacing(path, bytes.data(), bytes.size());
}
