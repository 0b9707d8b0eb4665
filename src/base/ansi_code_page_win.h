// The Windows conversion of server list texts to the system ANSI code page.
#pragma once

#include <string>
#include <string_view>

// WideCharToMultiByte(CP_ACP); characters the code page lacks become its
// default character. An AnsiEncoder (serverlist/server_list_parser.h).
std::string Utf16ToAnsiCodePage(std::u16string_view text) noexcept;
