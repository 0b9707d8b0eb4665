// The graphics level table "GraphicsLevel.ini" that the game data carries: a
// UTF-16LE text whose lines after the first name graphics adapters and give
// each a level. Portable and pure: callers hand in the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

// Pattern (ASCII letters lower-cased, keys ordered by UTF-16 code unit) to the
// low 8 bits of the level read for it.
using LevelTable = std::map<std::u16string, uint8_t>;

// Longest adapter-name pattern that is kept. An entry with a longer pattern
// ends reading, like any other entry that does not parse.
constexpr size_t kMaxLevelPatternChars = 255;

// Parses `length` code units of text; the text ends early at a zero unit.
// The first line is skipped. Each entry is a pattern of non-TAB characters,
// then a level read the way "%d" reads it (leading white space and a sign
// allowed, trailing text ignored; values that do not fit 32 bits wrap).
// The next entry starts after the first line feed that follows the first
// character of the previous one. Reading stops at the first entry without
// both a pattern and a level. Later duplicates replace earlier ones.
LevelTable ParseLevelTable(const char16_t* text, size_t length);

// Same, from raw file bytes: size / 2 little-endian units (an odd last byte
// is dropped).
LevelTable ParseLevelTableBytes(const unsigned char* bytes, size_t size);

// Largest table file that is read; larger files are read up to this size.
constexpr size_t kMaxLevelTableFileBytes = 1 << 20;

// Reads the file at `path` in binary and parses it. A missing, unreadable or
// empty file gives an empty table. Does not delete the file.
LevelTable LoadLevelTableFile(const std::string& path);

// The level of the longest key contained in `description` (already
// lower-cased); among keys of equal length the first in key order. -1 when
// no key is contained.
int MatchAdapterLevel(const LevelTable& table, const std::u16string& description);

// Each byte of `bytes` (up to the first zero, at most `max_chars`) becomes
// the character of the same value.
std::u16string WidenBytes(const char* bytes, size_t max_chars);

