// Rules for entry names as the qvk tool meets them: file names turned into
// entry names, entry names turned into files, and names shown to people and
// scripts. Pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Strict UTF-8 to UTF-16: false for any invalid byte sequence (overlong
// forms, surrogates, values above U+10FFFF, truncated sequences).
bool StrictUtf8ToUtf16(std::string_view text, std::u16string* out);

// Whether `name` is well-formed UTF-16 (no unpaired surrogate).
bool IsWellFormedUtf16(std::u16string_view name);

// The name with a-z folded to upper case, as the archive compares names.
std::u16string FoldEntryName(std::u16string_view name);

// Two names that the archive could not tell apart.
struct NameCollision {
  size_t first = 0;   // indexes into the names given
  size_t second = 0;
  bool same_hash_only = false;  // different names, same stored hash
};

// Every pair of `names` that are equal up to a-z case, or whose stored
// hashes (QvkNameHash) are equal: only the first of such a pair could ever
// be found. Sorted by the first index.
std::vector<NameCollision> FindNameCollisions(const std::vector<std::u16string>& names);

// The relative path, '/'-separated, that an entry is extracted to, or
// nullopt when the name cannot be made safe on every system: empty and "."
// components are dropped; refused are ".." components, a leading '/'
// (absolute), backslashes, ':' (drive letters, alternate data streams),
// control characters, the characters <>"|?*, components ending in '.' or
// ' ', Windows device names (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$,
// CONOUT$, with or without an extension, any case) and unpaired surrogates.
// `why` receives the rule broken.
std::optional<std::u16string> SafeExtractPath(std::u16string_view name, std::string* why);

// UTF-8 text of a name for a line of text output: '\\' '\t' '\n' '\r' and
// other control characters are escaped ("\\\\", "\\t", "\\n", "\\r",
// "\\xHH"); an unpaired surrogate is written "\\uDXXX".
std::string EscapeNameForLine(std::u16string_view name);

// A JSON string literal (with its quotes) of UTF-8 or UTF-16 text; control
// characters and unpaired surrogates are \u escapes.
std::string JsonString(std::u16string_view text);
std::string JsonString(std::string_view utf8);
