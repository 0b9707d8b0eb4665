// The launch argument string handed to the game as its parameters: the
// command-line text, "&" and the start time, later "&d3d9check=N". It lives in
// a buffer of 1024 UTF-16 units including the terminator.
#pragma once

#include <cstdint>
#include <string>

constexpr size_t kLaunchArgumentsCapacity = 1024;  // including the terminator

// Room kept free behind the command-line text, so that "&" with any 32-bit
// start time and "&d3d9check=N" always fit whole: a longer text is cut.
constexpr size_t kLaunchArgumentsReserve = 24;

// The command-line text behind the program name: skips the name (quoted or
// not) and the blanks and control characters that follow it. Bytes from 0x80
// up are text (characters of the ANSI code page, such as the lead and trail
// bytes of code page 936), never blanks. Returns a pointer into
// `command_line`; "" for a null one.
const char* CommandTextAfterProgramName(const char* command_line);

// The flag the download program puts before the command text when it starts
// the launcher after an update: the launcher then never offers it again.
inline constexpr char kAfterDownloadFlag[] = "--after-download";

// Removes a leading kAfterDownloadFlag and the one blank behind it from
// `command_text`; true when it was there. The rest is the text the game's
// front end gave.
bool TakeAfterDownloadFlag(std::string* command_text);

// `argument` quoted so that CommandLineToArgvW reads it back as one argument
// whatever its blanks, quotes and backslashes.
std::u16string QuoteArgument(const std::u16string& argument);

// "<text>&<low 32 bits of start_time as signed decimal>", the text cut to
// kLaunchArgumentsCapacity - 1 - kLaunchArgumentsReserve units.
std::u16string BuildLaunchArguments(const std::u16string& command_text, int64_t start_time);

// Appends `suffix` if the result still fits the buffer; returns false (and
// leaves `arguments` as it was) when it would not.
bool AppendLaunchArgument(std::u16string* arguments, const std::u16string& suffix);

// Interface language from System\GameConfig.ini [FirstRun] DataVersion:
// 1 selects Simplified Chinese (0x0804), every other value English (0x0409).
uint16_t LanguageForDataVersion(int data_version);
