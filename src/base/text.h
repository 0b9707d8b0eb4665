// Text helpers that every layer shares: the a-z case folding that names and
// keys use, and UTF-8 to and from UTF-16. Portable; the ANSI code page
// conversions are in text_win.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Only a-z and A-Z change; every other unit stays as it is.
constexpr char16_t AsciiUpper(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char16_t AsciiLower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
std::u16string AsciiUpper(std::u16string text);
std::string AsciiUpper(std::string text);
std::u16string AsciiLower(std::u16string text);

// Whether `text` ends in `suffix`, a-z folded: a listed name against a listing
// pattern's "*.exe".
bool EndsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view suffix);

// UTF-8 to UTF-16. Sequences of one to four bytes; a stray or invalid byte, a
// lead byte without its continuation bytes, an overlong form, an encoded
// surrogate or a value above U+10FFFF each give one U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

// The same on at most `max_bytes` bytes into at most `max_units` code units,
// for values read through a fixed window: a sequence cut by the window's end
// is dropped (it is the start of a longer value, not an error), and so is a
// surrogate pair that would not fit whole. Never reads past `text`.
std::u16string DecodeUtf8Prefix(std::string_view text, std::size_t max_bytes,
                                std::size_t max_units);

// UTF-16 to UTF-8; an unpaired surrogate gives U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
