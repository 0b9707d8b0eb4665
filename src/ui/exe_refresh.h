// Names used by the refresh of the game executable: the fallback copy's name
// and the executable's key in the patch list. Pure functions.
#pragma once

#include <ctime>
#include <string>

// Longest game executable name read from the configuration (characters).
inline constexpr size_t kGameExeNameChars = 255;

// The game_exe value up to, not including, its last "."; empty without a ".".
std::u16string GameBaseName(const std::u16string& game_exe);

// Base name followed by "_temp": the prefix of the fallback copies, which the
// start-up clean-up removes.
std::u16string TempCopyPattern(const std::u16string& base_name);

// "<base>_temp<%Y%m%d%H%M%S>.exe" for the local time `when`: a name that the
// start-up clean-up (TempCopyPattern) removes again.
std::u16string FallbackExecutableName(const std::u16string& base, const std::tm& when);

