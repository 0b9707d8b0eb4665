// Version bookkeeping on the installation: the current and base versions from
// their INI files, the rewind of "./update.ini", the package presence checks
// and the clean-up of stale packages in System/. Paths are relative to the
// working directory (the installation).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "serverlist/server_list.h"
#include "update/package_check.h"
#include "base/version.h"

inline constexpr wchar_t kUpdateIni[] = L"./update.ini";
inline constexpr wchar_t kUpdateConfigIni[] = L"./updatecfg.ini";

// "./update.ini" [Setting] Version and "./updatecfg.ini" [run] base_version
// (256 characters each; missing reads as 0).
VersionNumber ReadCurrentVersion();
VersionNumber ReadBaseVersion();
// "updatecfg.ini" [home] serverlist of the current directory, in the ANSI
// code page, cut to fit `capacity` bytes with its terminator.
std::string ReadServerListBaseUrl(size_t capacity);

// The highest release index serial the download program has used
// ("./update.ini" [Download] Serial); 0 when none or unreadable.
uint64_t ReadIndexSerial();
// A decimal serial of an INI file; 0 when missing or not a decimal number.
uint64_t ReadSerial(const wchar_t* file, const wchar_t* section, const wchar_t* key);
// Raises "./update.ini" to `version_text` ([Setting] Version) with the
// index's serial, through a copy that replaces the file in one step; other
// keys are kept. False when it could not be written (the file is unchanged).
bool RaiseUpdateIni(const std::string& version_text, uint64_t serial);
// Sets each value in a copy of "./update.ini" that then replaces the file in
// one step; other keys are kept. False when it could not be written.
struct UpdateIniValue {
  const wchar_t* section;
  const wchar_t* key;
  std::wstring value;
};
bool ReplaceUpdateIniValues(const std::vector<UpdateIniValue>& values);

// Reads "./update.ini" [Setting] Version and "./updatecfg.ini" [run]
// base_version (256 characters each; missing reads as 0) into
// list.current_version and list.base_version, and logs
// "base version:%05d". Worker thread.
void ReadVersions(ServerList& list);

// Writes `text` (a rewind, RewindText) to "./update.ini" [Setting] Version,
// clearing a read-only attribute first. False if the write failed.
bool WriteUpdateIniVersion(const std::string& text);

// Whether "System/Verpatch%05d.qvk" of v exists as a file.
bool PatchPackageExists(VersionNumber v);

// The current version's package is missing: rewinds "./update.ini" (with
// the 255 limit) and returns what is missing; nullopt when it is present or
// not needed. Reads the versions from GlobalServerList(). Worker thread.
std::optional<PackageCheckResult> CheckCurrentPackage();

// Packages named by the manifest's versions (`manifest_versions`) are
// missing: rewinds below the lowest and returns them all; nullopt when every
// one is present. Worker thread.
std::optional<PackageCheckResult> CheckPackages(const std::vector<int32_t>& manifest_versions);

// The package check after the manifest loaded: CheckPackages, or else deletes
// the stale packages of System/ and returns nullopt. One listing of System
// answers both. A directory that cannot be listed deletes nothing (presence
// is then asked package by package); failed deletions are ignored. Worker
// thread.
std::optional<PackageCheckResult> CleanPackages(const std::vector<int32_t>& manifest_versions);
