// The content of the current zone file "./system/currentzone.ini", built
// whole so that the file can be replaced in one step.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The UTF-16LE byte-order mark that makes the profile functions read and
// write the file in UTF-16.
inline constexpr char kUtf16LeMark[] = "\xFF\xFE";

// FF FE, then in UTF-16LE "[current]\r\nzone=<zone>\r\nversion=<version>\r\n":
// the bytes the profile functions leave in a new file after writing the two
// keys in this order.
std::string CurrentZoneFileBytes(std::u16string_view zone, std::int32_t version);
