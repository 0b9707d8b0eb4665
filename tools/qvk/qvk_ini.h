// Reading INI values the way the profile functions that the launcher uses
// read them, for qvk check: sections and keys match ignoring the case of a-z,
// the first section and key of a name count, blanks around keys and values
// are dropped, one pair of enclosing quotes is removed, lines starting with
// ';' are comments. The text is UTF-16LE after its byte-order mark, UTF-8
// after its mark, or else the ANSI code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The value, or nullopt when the section or key is missing.
std::optional<std::u16string> IniValue(std::u16string_view text, std::u16string_view section,
                                       std::u16string_view key);

// File bytes as text by the rule above; `decode_ansi` converts text without a
// mark (false: undecodable, the bytes are taken as Latin-1).
std::u16string IniFileText(const std::string& bytes,
                           bool (*decode_ansi)(std::string_view, unsigned, std::u16string*),
                           unsigned code_page);
