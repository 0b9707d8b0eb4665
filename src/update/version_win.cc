#include "update/version_win.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "base/file_flush.h"
#include "base/launch_log.h"
#include "base/directory_win.h"
#include "base/profile_win.h"
#include "base/text_win.h"
#include "update/package_check.h"

namespace {

std::u16string ToU16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

VersionNumber ReadVersionKey(const wchar_t* path, const wchar_t* section, const wchar_t* key) {
  return ParseVersionText(std::u16string_view(ToU16(ReadProfileText(path, section, key, L"", 256))));
}

// The manifest's versions in list order, read as version numbers.
std::vector<VersionNumber> ManifestVersions(const std::vector<int32_t>& versions) {
  return std::vector<VersionNumber>(versions.begin(), versions.end());
}

PackageExists OnDisk() { return [](VersionNumber v) { return PatchPackageExists(v); }; }

std::optional<PackageCheckResult> Rewound(const PackageCheckResult& result) {
  if (!result.missing) return std::nullopt;
  if (result.rewind) WriteUpdateIniVersion(*result.rewind);
  return result;
}

}  // namespace

VersionNumber ReadCurrentVersion() { return ReadVersionKey(kUpdateIni, L"Setting", L"Version"); }

VersionNumber ReadBaseVersion() { return ReadVersionKey(kUpdateConfigIni, L"run", L"base_version"); }

std::string ReadServerListBaseUrl(size_t capacity) {
  std::wstring dir = CurrentDirectoryBounded(MAX_PATH);
  std::wstring config = (dir.empty() ? std::wstring(L".") : dir) + L"/updatecfg.ini";
  return WideToAnsiBounded(ReadProfileText(config, L"home", L"serverlist", L"", 2048), capacity);
}

void ReadVersions(ServerList& list) {
  list.current_version = ReadCurrentVersion();
  list.base_version = ReadBaseVersion();
  LaunchLogf("base version:%s\n", FiveDigitForm(list.base_version).c_str());
}

uint64_t ReadIndexSerial() { return ReadSerial(kUpdateIni, L"Download", L"Serial"); }

uint64_t ReadSerial(const wchar_t* file, const wchar_t* section, const wchar_t* key) {
  const std::wstring text = ReadProfileText(file, section, key, L"0", 32);
  uint64_t serial = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9' || serial > (UINT64_MAX - 9) / 10) return 0;
    serial = serial * 10 + static_cast<uint64_t>(c - L'0');
  }
  return serial;
}

bool ReplaceUpdateIniValues(const std::vector<UpdateIniValue>& values) {
  // The edit goes to a copy, which then replaces the file in one step: a
  // kill leaves the old file or the new one, never half of it.
  const std::wstring temp = std::wstring(kUpdateIni) + L".tmp";
  ClearReadOnlyForWrite(kUpdateIni);
  DeleteFileW(temp.c_str());
  if (!CopyFileW(kUpdateIni, temp.c_str(), FALSE) && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
  ClearReadOnlyForWrite(temp);
  bool written = true;
  for (const UpdateIniValue& v : values) written = written && WriteProfileText(temp, v.section, v.key, v.value);
  // On the disk before the rename, so that a power cut cannot keep the
  // rename without the data.
  written = written && FlushFileToDisk(std::filesystem::path(temp));
  if (!written || !MoveFileExW(temp.c_str(), kUpdateIni, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temp.c_str());
    return false;
  }
  return true;
}

bool RaiseUpdateIni(const std::string& version_text, uint64_t serial) {
  return ReplaceUpdateIniValues({{L"Setting", L"Version", std::wstring(version_text.begin(), version_text.end())},
                                 {L"Download", L"Serial", std::to_wstring(serial)}});
}

bool WriteUpdateIniVersion(const std::string& text) {
  // Whole, like every other write of the file: it also holds the download
  // program's serial and keys.
  return ReplaceUpdateIniValues({{L"Setting", L"Version", std::wstring(text.begin(), text.end())}});
}

bool PatchPackageExists(VersionNumber v) {
  std::string path = PatchPackagePath(v);
  DWORD attributes = GetFileAttributesW(std::wstring(path.begin(), path.end()).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<PackageCheckResult> CheckCurrentPackage() {
  const ServerList& list = GlobalServerList();
  return Rewound(JudgeCurrentPackage(list.current_version, list.base_version, OnDisk()));
}

namespace {

std::optional<PackageCheckResult> CheckPackages(const std::vector<int32_t>& versions, const PackageExists& exists) {
  return Rewound(JudgeManifestPackages(ManifestVersions(versions), GlobalServerList().base_version, exists));
}

}  // namespace

std::optional<PackageCheckResult> CheckPackages(const std::vector<int32_t>& manifest_versions) {
  return CheckPackages(manifest_versions, OnDisk());
}

std::optional<PackageCheckResult> CleanPackages(const std::vector<int32_t>& manifest_versions) {
  // One listing of System answers both which packages are present and which
  // are stale; without it each package is asked of the file system and
  // nothing is deleted.
  const std::wstring current = CurrentDirectoryBounded(MAX_PATH);
  const std::wstring dir = current + L"\\System";
  std::optional<std::vector<ListedFile>> files;
  if (!current.empty()) files = ListFiles(dir);
  std::vector<std::u16string> names;
  if (files) {
    for (const ListedFile& file : *files) names.push_back(file.name);
  }
  if (std::optional<PackageCheckResult> missing =
          CheckPackages(manifest_versions, files ? ListedPackages(names) : OnDisk())) {
    return missing;
  }
  if (files) {
    std::vector<std::u16string> packages;
    for (const ListedFile& file : *files) {
      if (MatchesExtension(file, u".qvk")) packages.push_back(file.name);
    }
    const ServerList& list = GlobalServerList();
    for (const std::u16string& name : StalePackages(packages, ManifestVersions(manifest_versions),
                                                    list.base_version, list.current_version)) {
      DeleteFileW((dir + L"/" + std::wstring(name.begin(), name.end())).c_str());
    }
  }
  return std::nullopt;
}
