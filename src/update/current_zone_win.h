// The current zone file "./system/currentzone.ini", a UTF-16LE profile file:
// [current] zone = the current zone's name, [current] version = "%d".
#pragma once

#include <string>

#include "serverlist/server_list.h"

inline constexpr wchar_t kCurrentZoneFile[] = L"./system/currentzone.ini";

// [current] zone, default empty, at most 63 characters. Any thread.
std::u16string ReadSavedZone(const wchar_t* path = kCurrentZoneFile);

// Writes [current] zone = list.current_zone's name and [current] version =
// list.current_version. A missing file is first created holding only the
// bytes FF FE, so the profile functions write it in UTF-16; a read-only file
// is made writable. Without a current zone nothing is written and the result
// is false; false also when a value could not be written (nobody is told; the
// next run starts without a saved zone). Window thread.
bool SaveCurrentZone(const ServerList& list, const wchar_t* path = kCurrentZoneFile);
