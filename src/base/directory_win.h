// One listing of a directory's files, and the "*.ext" test the system's own
// listing patterns make, for callers that list a directory once and sort
// what they find themselves.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ListedFile {
  std::u16string name;
  std::u16string short_name;  // the 8.3 name, empty when the name is one
};

// The files of `dir` (directories left out); nullopt when it cannot be
// listed to its end.
std::optional<std::vector<ListedFile>> ListFiles(const std::wstring& dir);

// Whether the pattern "*<extension>" ("*.exe") would list the file: its name
// or its 8.3 name ends in the extension, a-z folded. The 8.3 name makes
// "x.exe1" match too, as it does for the system's patterns.
bool MatchesExtension(const ListedFile& file, std::u16string_view extension);
