// Standard base64 (RFC 4648, '+' and '/', '=' padding), for keys and
// signatures in text files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

std::string Base64Encode(const uint8_t* data, size_t size);
// The bytes of canonical base64 only: padded to a multiple of 4, no blanks or
// line ends, unused bits zero (so one text per byte string). nullopt
// otherwise.
std::optional<std::vector<uint8_t>> Base64Decode(std::string_view text);
