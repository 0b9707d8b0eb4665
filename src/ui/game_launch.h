// The texts and paths of a game start: where the executable lies, its
// current directory, the direct-start command line, and the reason shown
// when the game cannot be started. Pure functions over UTF-16 text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The launch name buffer holds this many units with its terminator. Longer
// names are refused (never cut, which could start another file), and so is
// an empty name (the shell would open the System folder instead of a game).
inline constexpr size_t kLaunchNameCapacity = 64;
inline bool LaunchNameUsable(const std::u16string& name) {
  return !name.empty() && name.size() < kLaunchNameCapacity;
}

// "<dir>\System\<name>".
std::u16string GamePath(const std::u16string& working_dir, const std::u16string& name);
// "<dir>/System": the game's current directory.
std::u16string GameDirectory(const std::u16string& working_dir);
// "\"<path>\" <parameters>": quoted, so that a path with blanks is not split
// into a program name and arguments.
std::u16string DirectStartCommandLine(const std::u16string& game_path,
                                      const std::u16string& parameters);

// The reason text for a shell error code of the documented table (2, 3, 5,
// 8, 26..32); empty for any other value.
std::u16string LaunchFailureReason(int64_t shell_result);

// The reason box's text: `failed_text` (message 277), a full-width colon and
// the reason. For a code without a reason text (0, 11 for a damaged
// executable, ...) the reason is the code and `system_description`, the
// system's own text for it, so the box is never empty.
std::u16string LaunchFailureText(const std::u16string& failed_text, int64_t shell_result,
                                 const std::u16string& system_description = u"");

// Whole seconds from the start to the launch, truncated toward zero.
int ElapsedWholeSeconds(double start_time, double launch_time);
