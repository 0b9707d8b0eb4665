// The decisions of the patch package checks, as pure functions: which
// packages are missing (and what to tell the player and write back), and
// which package files in System/ are stale. The Win32 side feeds them the
// file system and carries out the result. Callable from any thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/version.h"

// Longest missing-version text in characters, without its terminator (the
// worker keeps it in 1024 wide characters).
constexpr size_t kMissingTextMax = 1023;

struct PackageCheckResult {
  bool missing = false;
  // Dotted forms of the missing versions, ", "-separated; an entry that would
  // not fit in kMissingTextMax characters is left out whole.
  std::string missing_text;
  // INI text for "./update.ini" [Setting] Version; nullopt: write nothing.
  std::optional<std::string> rewind;
};

// Tells whether the package of version v exists.
using PackageExists = std::function<bool(VersionNumber)>;

// Presence from one listing of System's file names: the package of v exists
// when the listing holds its file name
// "Verpatch%05d.qvk", a-z folded as the file system compares names.
PackageExists ListedPackages(const std::vector<std::u16string>& file_names);

// The current version's package: not looked for when current <= base; when it
// is missing (and the version splits), the text is its dotted form and the
// rewind goes to just below it with the build part limited to 255.
PackageCheckResult JudgeCurrentPackage(VersionNumber current, VersionNumber base,
                                       const PackageExists& exists);

// The packages named by the manifest (`versions` in list order, ascending):
// every version above the base whose package is missing is listed; the rewind
// goes to just below the first (lowest) of them, without the 255 limit.
PackageCheckResult JudgeManifestPackages(const std::vector<VersionNumber>& versions,
                                         VersionNumber base, const PackageExists& exists);

// The number n of a package file name "Verpatch<n>..." that contains ".qvk"
// (both case-sensitive; digits directly after "Verpatch", saturating at
// UINT32_MAX); nullopt for every other name, "." and ".." included.
std::optional<VersionNumber> PatchPackageNumber(std::u16string_view file_name);

// Whether a package file of number n is deleted by the clean-up: at or below
// the base always; above it, only when the manifest does not name it and it is
// older than the current version.
bool IsStalePackage(VersionNumber n, const std::vector<VersionNumber>& versions,
                    VersionNumber base, VersionNumber current);

// The names among `file_names` (a listing of System/*.qvk) to delete, in
// listing order.
std::vector<std::u16string> StalePackages(const std::vector<std::u16string>& file_names,
                                          const std::vector<VersionNumber>& versions,
                                          VersionNumber base, VersionNumber current);
