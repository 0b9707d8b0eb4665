#include "base/base64.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(const uint8_t* data, size_t size) {
  std::string text;
  text.reserve((size + 2) / 3 * 4);
  for (size_t i = 0; i < size; i += 3) {
    const uint32_t n = uint32_t{data[i]} << 16 | (i + 1 < size ? uint32_t{data[i + 1]} << 8 : 0) |
                       (i + 2 < size ? uint32_t{data[i + 2]} : 0);
    text += kAlphabet[n >> 18 & 63];
    text += kAlphabet[n >> 12 & 63];
    text += i + 1 < size ? kAlphabet[n >> 6 & 63] : '=';
    text += i + 2 < size ? kAlphabet[n & 63] : '=';
  }
  return text;
}

std::optional<std::vector<uint8_t>> Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const int pad = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
    uint32_t n = 0;
    for (int k = 0; k < 4 - pad; ++k) {
      const int v = Value(text[i + static_cast<size_t>(k)]);
      if (v < 0) return std::nullopt;
      n |= static_cast<uint32_t>(v) << (18 - 6 * k);
    }
    if ((pad == 1 && (n & 0xff) != 0) || (pad == 2 && (n & 0xffff) != 0)) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(n >> 16));
    if (pad < 2) bytes.push_back(static_cast<uint8_t>(n >> 8));
    if (pad < 1) bytes.push_back(static_cast<uint8_t>(n));
  }
  return bytes;
}
