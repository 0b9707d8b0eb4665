// Text conversions at the Win32 boundary: UTF-16 of the portable code
// (char16_t) to and from wchar_t, and the system's ANSI code page.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

inline std::wstring ToWide(const std::u16string& text) {
  return std::wstring(text.begin(), text.end());
}

inline std::u16string ToU16(const std::wstring& text) {
  return std::u16string(text.begin(), text.end());
}

// Narrow text in the ANSI code page to UTF-16; invalid bytes follow the
// system's conversion rules.
std::wstring AnsiToWide(const std::string& text);

// UTF-16 to the ANSI code page (characters it lacks become the default char).
std::string WideToAnsi(const std::wstring& text);

// ANSI code page conversions (CP_ACP). The result holds at most
// `max_bytes` - 1 bytes (or `max_chars` - 1 characters): longer texts are cut
// at a character boundary, never mid-character.
std::string WideToAnsiBounded(const std::wstring& text, size_t max_bytes);
std::wstring AnsiToWideBounded(const std::string& text, size_t max_chars);

// UTF-16 of the portable code to the ANSI code page; characters it lacks
// become its default character. An AnsiEncoder (serverlist/server_list_parser.h).
std::string Utf16ToAnsiCodePage(std::u16string_view text) noexcept;

// UTF-16 to UTF-8, for test output.
std::string WideToUtf8(const std::wstring& text);

// The working directory, any length.
std::wstring CurrentDirectory();
