#include "hardware/level_table.h"
#include "base/text.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace {

bool IsScanSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

// Reads a decimal integer at text[*pos] the way "%d" does. The value wraps
// modulo 2^32, which keeps its low 8 bits exact.
bool ScanInt(const char16_t* text, size_t end, size_t* pos, uint32_t* value) {
  size_t i = *pos;
  while (i < end && IsScanSpace(text[i])) ++i;
  bool negative = false;
  if (i < end && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  size_t first_digit = i;
  uint32_t v = 0;
  while (i < end && text[i] >= u'0' && text[i] <= u'9') {
    v = v * 10u + static_cast<uint32_t>(text[i] - u'0');
    ++i;
  }
  if (i == first_digit) return false;
  *value = negative ? 0u - v : v;
  *pos = i;
  return true;
}

// One entry at `start`: a pattern of 1..kMaxLevelPatternChars non-TAB
// characters, then the level.
bool ScanEntry(const char16_t* text, size_t end, size_t start, std::u16string* pattern,
               uint32_t* level) {
  size_t i = start;
  while (i < end && text[i] != u'\t') {
    if (i - start >= kMaxLevelPatternChars) return false;
    ++i;
  }
  if (i == start || i == end) return false;
  pattern->assign(text + start, text + i);
  return ScanInt(text, end, &i, level);
}

size_t FindLineFeed(const char16_t* text, size_t end, size_t from) {
  for (size_t i = from; i < end; ++i) {
    if (text[i] == u'\n') return i;
  }
  return end;
}

}  // namespace

LevelTable ParseLevelTable(const char16_t* text, size_t length) {
  LevelTable table;
  if (text == nullptr) return table;
  size_t end = 0;
  while (end < length && text[end] != 0) ++end;

  size_t newline = FindLineFeed(text, end, 0);  // the first line is not an entry
  if (newline == end) return table;
  size_t start = newline + 1;
  std::u16string pattern;
  uint32_t level = 0;
  while (start < end && ScanEntry(text, end, start, &pattern, &level)) {
    table[AsciiLower(pattern)] = static_cast<uint8_t>(level & 0xFFu);
    newline = FindLineFeed(text, end, start + 1);
    if (newline == end) break;
    start = newline + 1;
  }
  return table;
}

LevelTable ParseLevelTableBytes(const unsigned char* bytes, size_t size) {
  std::vector<char16_t> units(size / 2);
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return ParseLevelTable(units.data(), units.size());
}

LevelTable LoadLevelTableFile(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return {};
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return {};
  long end = std::ftell(file.get());
  if (end < 1 || std::fseek(file.get(), 0, SEEK_SET) != 0) return {};
  size_t wanted = static_cast<unsigned long>(end) < kMaxLevelTableFileBytes
                      ? static_cast<size_t>(end)
                      : kMaxLevelTableFileBytes;
  std::vector<unsigned char> bytes(wanted);
  size_t size = std::fread(bytes.data(), 1, bytes.size(), file.get());
  return ParseLevelTableBytes(bytes.data(), size);
}

int MatchAdapterLevel(const LevelTable& table, const std::u16string& description) {
  int level = -1;
  size_t best_length = 0;
  for (const auto& [key, key_level] : table) {
    if (key.size() > best_length && description.find(key) != std::u16string::npos) {
      best_length = key.size();
      level = key_level;
    }
  }
  return level;
}

std::u16string WidenBytes(const char* bytes, size_t max_chars) {
  std::u16string text;
  if (bytes == nullptr) return text;
  for (size_t i = 0; i < max_chars && bytes[i] != 0; ++i) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i])));
  }
  return text;
}

