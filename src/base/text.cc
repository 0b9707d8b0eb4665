#include "base/text.h"

namespace {

// Appends one code point as UTF-16 if it fits in `max_units`.
bool AppendUtf16(std::u16string& out, char32_t cp, std::size_t max_units) {
  if (cp >= 0x10000) {
    if (out.size() + 2 > max_units) return false;
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    return true;
  }
  if (out.size() + 1 > max_units) return false;
  out += static_cast<char16_t>(cp);
  return true;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The one UTF-8 decoder. `cut_is_error`: a sequence cut by the end gives
// U+FFFD (a whole text) instead of being dropped (a window of a longer value).
std::u16string DecodeUtf8(std::string_view text, std::size_t max_bytes, std::size_t max_units,
                          bool cut_is_error) {
  const std::size_t end = text.size() < max_bytes ? text.size() : max_bytes;
  std::u16string out;
  std::size_t i = 0;
  while (i < end && out.size() < max_units) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length;
    char32_t cp;
    char32_t min;
    if (lead < 0x80) {
      length = 1, cp = lead, min = 0;
    } else if (lead >= 0xC2 && lead < 0xE0) {
      length = 2, cp = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      length = 3, cp = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead < 0xF5) {
      length = 4, cp = lead & 0x07, min = 0x10000;
    } else {
      if (!AppendUtf16(out, 0xFFFD, max_units)) break;
      ++i;
      continue;
    }
    std::size_t k = 1;
    for (; k < length && i + k < end; ++k) {
      const unsigned char c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) break;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (k < length && i + k == end && !cut_is_error) break;  // cut by the window: dropped
    if (k < length) {  // a lead byte without all its continuation bytes
      if (!AppendUtf16(out, 0xFFFD, max_units)) break;
      i += k;
      continue;
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) cp = 0xFFFD;
    if (!AppendUtf16(out, cp, max_units)) break;
    i += length;
  }
  return out;
}

}  // namespace

std::u16string AsciiUpper(std::u16string text) {
  for (char16_t& c : text) c = AsciiUpper(c);
  return text;
}

std::string AsciiUpper(std::string text) {
  for (char& c : text) c = AsciiUpper(c);
  return text;
}

bool EndsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view suffix) {
  if (text.size() < suffix.size()) return false;
  const size_t start = text.size() - suffix.size();
  for (size_t i = 0; i < suffix.size(); ++i) {
    if (AsciiLower(text[start + i]) != AsciiLower(suffix[i])) return false;
  }
  return true;
}

std::u16string AsciiLower(std::u16string text) {
  for (char16_t& c : text) c = AsciiLower(c);
  return text;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  return DecodeUtf8(text, text.size(), std::u16string::npos, true);
}

std::u16string DecodeUtf8Prefix(std::string_view text, std::size_t max_bytes,
                                std::size_t max_units) {
  return DecodeUtf8(text, max_bytes, max_units, false);
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}
