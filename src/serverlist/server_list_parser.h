// Parser of the server list document (UTF-8 XML). Elements are told apart by
// nesting depth and attributes by position; names are never examined:
//   depth 1 (root): attribute 1 = required version (decimal)
//   depth 2 (zone): name, preferred flag, server address, link text, extra value
//   depth 3 (zone entry): name, two integers, two texts
// Deeper elements, character data and further attributes are ignored; a
// missing attribute reads as empty (0 for integers).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "serverlist/server_list.h"

// Converts UTF-16 text to the system ANSI code page. Plain function pointer so
// the expat callbacks stay noexcept; must not throw.
using AnsiEncoder = std::string (*)(std::u16string_view text) noexcept;

// Portable default: ASCII characters stay, every other character becomes '?'
// (what the Windows conversion does for characters the code page lacks).
std::string AsciiOrQuestionMark(std::u16string_view text) noexcept;

// Bounds that keep hostile documents cheap. Elements past a count limit are
// ignored like deeper elements; nesting past kMaxElementDepth stops the parse
// (what was stored before stays, as for any malformed document).
inline constexpr std::size_t kMaxStoredListBytes = 4 * 1024 * 1024;
inline constexpr std::size_t kMaxZones = 4096;
inline constexpr std::size_t kMaxZoneServersTotal = 65536;
inline constexpr int kMaxElementDepth = 1024;

// Reads the stored (scrambled) list at `path`, unscrambles it and parses it
// into `list`, appending zones. Returns false, leaving `list` unchanged, when
// the file cannot be opened or read, is larger than kMaxStoredListBytes, does
// not begin with "<?xml" once unscrambled, or is not a server list: its root
// has no first attribute with a decimal number (after blanks and a sign), or
// no zone has a name. A document that is not well-formed still returns true
// with every element read before the fault, as long as it is a list so far.
// Creates and frees its own expat parser. Worker thread (any single thread).
bool ParseServerListFile(const std::filesystem::path& path, ServerList& list,
                         AnsiEncoder encoder = AsciiOrQuestionMark);

// The same on bytes already unscrambled (tests, fuzzing). Same result rules.
bool ParseServerListDocument(const char* data, std::size_t size, ServerList& list,
                             AnsiEncoder encoder = AsciiOrQuestionMark);

// Decimal string-to-int in the manner of atoi on at most `max_bytes` bytes:
// leading white space, an optional sign, digits up to the first non-digit;
// no digits give 0. Values beyond the int32 range are clamped to it.
std::int32_t ParseDecimalInt(std::string_view text, std::size_t max_bytes);
