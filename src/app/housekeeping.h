// Decisions of the start-up clean-up: which leftover copies of the game
// executable and which dated logs in System are removed. The directory
// listing and the deletion are in housekeeping_win.
#pragma once

#include <ctime>
#include <string>

#include "ui/exe_refresh.h"  // GameBaseName, TempCopyPattern

// A listed "*.exe" name that is a leftover copy: it contains ".exe" and the
// pattern, both case-sensitive.
bool IsTempCopy(const std::u16string& name, const std::u16string& pattern);

// A listed "*.log" name is removed when it contains ".log" and the pattern,
// carries a date "YYYYMMDD.log" right after the first pattern-length
// characters, and that date lies more than 7 whole days before `now` (local
// time, same time of day). Unreadable dates and future dates stay.
bool IsExpiredDatedLog(const std::u16string& name, const std::u16string& pattern, std::time_t now);

// Reads up to three "%4d%2d%2d" numbers from the start of `text` as scanf
// does; returns how many were read.
int ScanLogDate(const std::u16string& text, int* year, int* month, int* day);
