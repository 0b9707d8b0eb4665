// Version numbers of the game client and their text forms.
//
// A VersionNumber is an unsigned 32-bit value whose decimal digits read
// M m bbb (12003 is 1.2.3). Every comparison is unsigned. Pure functions,
// callable from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using VersionNumber = uint32_t;

struct VersionParts {
  int major = 0;
  int minor = 0;
  int build = 0;
};

// Reads an INI version text: parts separated by runs of "." or "*" (leading
// and trailing separators make no part), each of the first three read like a
// decimal string-to-int conversion (leading white space and a sign accepted,
// stops at the first non-digit, saturating on overflow), then joined as
// "%d%d%03d" and read again the same way. Missing parts count as 0, so "",
// "1" and "1.2" read as 0, 10000 and 12000; parts after the third are ignored.
// A text whose joined form is negative reads as 0.
VersionNumber ParseVersionText(std::u16string_view text);
// The same for narrow text (each byte taken as one character).
VersionNumber ParseVersionText(std::string_view text);

// "%05d": the form used in package names and the log. Values above INT32_MAX
// print as the signed number they alias, as the package names always have.
std::string FiveDigitForm(VersionNumber v);

// Splits the five-digit form into first digit, second digit and the next three
// digits (a sixth digit is lost). Fails (nullopt) when the five-digit form is
// negative, i.e. v > INT32_MAX.
std::optional<VersionParts> SplitVersion(VersionNumber v);

// "%d.%d.%d".
std::string DottedForm(const VersionParts& parts);

// The INI text written to rewind the current version to just below `v`:
// the dotted split of v - 1, with the build part limited to 255 when
// `limit_build_255`. nullopt when v is 0 or v - 1 does not split (nothing is
// to be written then).
std::optional<std::string> RewindText(VersionNumber v, bool limit_build_255);

// "System/Verpatch%05d.qvk", relative to the installation directory.
std::string PatchPackagePath(VersionNumber v);

// The rule for files held in packages: a manifest entry with version v lives
// in v's patch package only when v is not 0 and above the base version;
// otherwise the file comes from the base archive.
inline bool HeldInPatchPackage(VersionNumber v, VersionNumber base) {
  return v != 0 && v > base;
}
