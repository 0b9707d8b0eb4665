#include "qvk/qvk_ini.h"

#include "package/entry_names.h"

namespace {

std::u16string_view Trim(std::u16string_view text) {
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  return FoldEntryName(a) == FoldEntryName(b);
}

}  // namespace

std::optional<std::u16string> IniValue(std::u16string_view text, std::u16string_view section,
                                       std::u16string_view key) {
  bool in_section = false;
  bool section_seen = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(u'\n', start);
    if (end == std::u16string_view::npos) end = text.size();
    const std::u16string_view line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == u';') continue;
    if (line.front() == u'[') {
      const size_t close = line.find(u']');
      const std::u16string_view name =
          Trim(line.substr(1, close == std::u16string_view::npos ? line.size() - 1 : close - 1));
      if (in_section) return std::nullopt;  // only the first section of the name counts
      in_section = !section_seen && SameName(name, section);
      section_seen = section_seen || in_section;
      continue;
    }
    if (!in_section) continue;
    const size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos || !SameName(Trim(line.substr(0, eq)), key)) continue;
    std::u16string_view value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == u'"' || value.front() == u'\'')) {
      value = value.substr(1, value.size() - 2);
    }
    return std::u16string(value);
  }
  return std::nullopt;
}

std::u16string IniFileText(const std::string& bytes,
                           bool (*decode_ansi)(std::string_view, unsigned, std::u16string*),
                           unsigned code_page) {
  std::u16string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return text;
  }
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 &&
      StrictUtf8ToUtf16(std::string_view(bytes).substr(3), &text)) {
    return text;
  }
  if (decode_ansi && decode_ansi(bytes, code_page, &text)) return text;
  text.clear();
  for (char c : bytes) text.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return text;
}
