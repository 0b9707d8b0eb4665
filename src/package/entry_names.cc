#include "package/entry_names.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "base/text.h"
#include "package/qvk_format.h"

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string Hex(const char* format, unsigned value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// Walks UTF-16 text, calling emit(code point, is_unpaired_surrogate).
template <typename Emit>
void ForEachCodePoint(std::u16string_view text, Emit emit) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      emit(0x10000 + ((static_cast<uint32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00), false);
      ++i;
    } else {
      emit(c, IsHighSurrogate(c) || IsLowSurrogate(c));
    }
  }
}

bool IsDeviceName(std::u16string_view component) {
  // The part before the first '.' decides ("NUL.txt" is the device too).
  std::u16string stem(component.substr(0, component.find(u'.')));
  while (!stem.empty() && stem.back() == u' ') stem.pop_back();
  stem = FoldEntryName(stem);
  static const char16_t* const kFixed[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
  for (const char16_t* d : kFixed) {
    if (stem == d) return true;
  }
  if (stem.size() == 4 && (stem.compare(0, 3, u"COM") == 0 || stem.compare(0, 3, u"LPT") == 0)) {
    const char16_t n = stem[3];
    // Digits and the superscripts one, two and three count on Windows.
    return (n >= u'0' && n <= u'9') || n == 0xB9 || n == 0xB2 || n == 0xB3;
  }
  return false;
}

}  // namespace

bool StrictUtf8ToUtf16(std::string_view text, std::u16string* out) {
  std::u16string result;
  result.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    uint32_t cp = 0;
    size_t length = 0;
    uint32_t min = 0;
    if (b < 0x80) {
      cp = b, length = 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
      cp = b & 0x1F, length = 2, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      cp = b & 0x0F, length = 3, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      cp = b & 0x07, length = 4, min = 0x10000;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const unsigned char c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      result.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      result.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      result.push_back(static_cast<char16_t>(cp));
    }
    i += length;
  }
  *out = std::move(result);
  return true;
}

bool IsWellFormedUtf16(std::u16string_view name) {
  bool ok = true;
  ForEachCodePoint(name, [&](uint32_t, bool unpaired) { ok = ok && !unpaired; });
  return ok;
}

std::u16string FoldEntryName(std::u16string_view name) { return AsciiUpper(std::u16string(name)); }

std::vector<NameCollision> FindNameCollisions(const std::vector<std::u16string>& names) {
  std::vector<NameCollision> found;
  std::unordered_map<std::u16string, size_t> by_name;
  std::unordered_map<uint32_t, size_t> by_hash;
  for (size_t i = 0; i < names.size(); ++i) {
    const auto named = by_name.emplace(FoldEntryName(names[i]), i);
    if (!named.second) {
      found.push_back({named.first->second, i, false});
      continue;  // same name: the same hash says nothing new
    }
    const auto hashed = by_hash.emplace(QvkNameHash(names[i]), i);
    if (!hashed.second) found.push_back({hashed.first->second, i, true});
  }
  std::sort(found.begin(), found.end(), [](const NameCollision& a, const NameCollision& b) {
    return a.first != b.first ? a.first < b.first : a.second < b.second;
  });
  return found;
}

std::optional<std::u16string> SafeExtractPath(std::u16string_view name, std::string* why) {
  auto refuse = [&](const char* rule) -> std::optional<std::u16string> {
    if (why) *why = rule;
    return std::nullopt;
  };
  if (!IsWellFormedUtf16(name)) return refuse("not valid Unicode (an unpaired surrogate)");
  if (!name.empty() && name[0] == u'/') return refuse("an absolute path");
  for (char16_t c : name) {
    if (c == u'\\') return refuse("a backslash, which is a separator on Windows");
    if (c == u':') return refuse("a ':' (drive letter or alternate data stream)");
    if (c < 0x20 || c == 0x7F) return refuse("a control character");
    if (c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' || c == u'*') {
      return refuse("a character Windows does not allow in file names (<>\"|?*)");
    }
  }
  std::u16string path;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find(u'/', start);
    if (end == std::u16string_view::npos) end = name.size();
    const std::u16string_view component = name.substr(start, end - start);
    start = end + 1;
    if (component.empty() || component == u".") continue;
    if (component == u"..") return refuse("a \"..\" component");
    if (component.back() == u'.' || component.back() == u' ') {
      return refuse("a component ending in '.' or ' ', which Windows drops");
    }
    if (IsDeviceName(component)) return refuse("a Windows device name (CON, NUL, COM1, ...)");
    if (!path.empty()) path += u'/';
    path += component;
  }
  if (path.empty()) return refuse("an empty name");
  return path;
}

std::string EscapeNameForLine(std::u16string_view name) {
  std::string out;
  ForEachCodePoint(name, [&](uint32_t cp, bool unpaired) {
    if (unpaired) {
      out += Hex("\\u%04X", cp);
    } else if (cp == '\\') {
      out += "\\\\";
    } else if (cp == '\t') {
      out += "\\t";
    } else if (cp == '\n') {
      out += "\\n";
    } else if (cp == '\r') {
      out += "\\r";
    } else if (cp < 0x20 || cp == 0x7F) {
      out += Hex("\\x%02X", cp);
    } else {
      AppendUtf8(cp, &out);
    }
  });
  return out;
}

std::string JsonString(std::u16string_view text) {
  std::string out = "\"";
  ForEachCodePoint(text, [&](uint32_t cp, bool unpaired) {
    if (unpaired || cp < 0x20 || cp == 0x7F) {
      switch (cp) {
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: out += Hex("\\u%04x", cp);
      }
    } else if (cp == '"' || cp == '\\') {
      out += '\\';
      out += static_cast<char>(cp);
    } else {
      AppendUtf8(cp, &out);
    }
  });
  return out + "\"";
}

std::string JsonString(std::string_view utf8) {
  std::u16string wide;
  if (!StrictUtf8ToUtf16(utf8, &wide)) {
    // Text that is not UTF-8 (an ANSI manifest line): each byte as itself.
    wide.assign(utf8.begin(), utf8.end());
    for (char16_t& c : wide) c = static_cast<char16_t>(c & 0xFF);
  }
  return JsonString(std::u16string_view(wide));
}
