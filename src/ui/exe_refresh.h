// Names used by the refresh of the game executable: the fallback copy's name
// and the executable's key in the patch list (its base name is
// GameBaseName of app/housekeeping.h). Pure functions.
#pragma once

#include <ctime>
#include <string>

// Longest game executable name read from the configuration (characters).
inline constexpr size_t kGameExeNameChars = 255;

// "<base>_temp<%Y%m%d%H%M%S>.exe" for the local time `when`: a name that the
// start-up clean-up (TempCopyPattern) removes again.
std::u16string FallbackExecutableName(const std::u16string& base, const std::tm& when);

// The name with a..z upper-cased, unit by unit; nothing else changes.
std::u16string UpperCaseAsciiLetters(std::u16string name);
