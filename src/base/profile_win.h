// INI access through the Win32 profile functions (GetPrivateProfileStringW and
// friends), so files are read and written exactly as the game and its tools
// expect: UTF-16LE when the file starts with FF FE, the ANSI code page
// otherwise. Paths are passed to the profile functions as given; relative
// paths should start with "./" (a bare file name would be looked up in the
// Windows directory). Callable from any thread.
#pragma once

#include <windows.h>

#include <string>

// The value of [section] key, or `fallback` when the file, section or key is
// missing. At most `capacity` - 1 characters are returned (the profile
// function truncates longer values); capacity 0 reads as 1.
std::wstring ReadProfileText(const std::wstring& path, const wchar_t* section, const wchar_t* key,
                             const wchar_t* fallback, size_t capacity);

// The value of [section] key as an integer (GetPrivateProfileIntW), or
// `fallback` when missing.
int ReadProfileNumber(const std::wstring& path, const wchar_t* section, const wchar_t* key,
                      int fallback);

// Before a file is overwritten: when its attributes cannot be read (missing
// file) or show the read-only bit, sets them to FILE_ATTRIBUTE_ARCHIVE alone.
// For a missing file the set fails harmlessly. Returns nothing.
void ClearReadOnlyForWrite(const std::wstring& path);

// Writes [section] key = value (WritePrivateProfileStringW) after
// ClearReadOnlyForWrite. Returns false when the profile function fails.
[[nodiscard]] bool WriteProfileText(const std::wstring& path, const wchar_t* section,
                                    const wchar_t* key, const std::wstring& value);

// The process's current directory, without a trailing separator unless it is
// a drive root; empty when it cannot be read or does not fit in `max_chars`
// characters with its terminator (the launcher's directory buffers hold 260;
// at most MAX_PATH is used).
std::wstring CurrentDirectoryBounded(size_t max_chars);

