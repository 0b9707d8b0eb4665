// The current zone file "./system/currentzone.ini", a UTF-16LE profile file:
// [current] zone = the current zone's name, [current] version = "%d".
#pragma once

#include <string>

#include "serverlist/server_list.h"

inline constexpr wchar_t kCurrentZoneFile[] = L"./system/currentzone.ini";

// [current] zone, default empty, at most 63 characters. Any thread.
std::u16string ReadSavedZone(const wchar_t* path = kCurrentZoneFile);

// Writes [current] zone = list.current_zone's name and [current] version =
// list.current_version by replacing the whole file in one step
// (CurrentZoneFileBytes, written beside it and renamed over it); a read-only
// file is made writable first. Without a current zone nothing is written
// (a missing file is created holding only the bytes FF FE) and the result is
// false; false also when the file could not be replaced, in which case it
// keeps its previous content (nobody is told; the next run starts with the
// zone saved before). Window thread.
bool SaveCurrentZone(const ServerList& list, const wchar_t* path = kCurrentZoneFile);
