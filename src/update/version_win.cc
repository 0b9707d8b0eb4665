#include "update/version_win.h"

#include <windows.h>

#include <vector>

#include "base/launch_log.h"
#include "base/text.h"
#include "base/profile_win.h"
#include "update/package_check.h"
#include "update/updater_win.h"

namespace {

std::u16string ToU16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

VersionNumber ReadVersionKey(const wchar_t* path, const wchar_t* section, const wchar_t* key) {
  return ParseVersionText(std::u16string_view(ToU16(ReadProfileText(path, section, key, L"", 256))));
}

// The manifest's versions in list order, read as version numbers.
std::vector<VersionNumber> ManifestVersions(ZUpdater& worker) {
  return std::vector<VersionNumber>(worker.version_list().begin(), worker.version_list().end());
}

// Presence from start-up's listing of System when there is one, else asked
// of the file system package by package.
PackageExists Present(const ZUpdater& worker) {
  if (worker.system_files()) return ListedPackages(*worker.system_files());
  return [](VersionNumber v) { return PatchPackageExists(v); };
}

void Report(ZUpdater& worker, const PackageCheckResult& result) {
  worker.SetMissingVersionText(result.missing_text);
  if (result.rewind) WriteUpdateIniVersion(*result.rewind);
  worker.PostUpdateError(kUpdateErrorMissingPackages, 0);
}

}  // namespace

void ReadVersions(ServerList& list) {
  list.current_version = ReadVersionKey(kUpdateIni, L"Setting", L"Version");
  list.base_version = ReadVersionKey(kUpdateConfigIni, L"run", L"base_version");
  LaunchLogf("base version:%s\n", FiveDigitForm(list.base_version).c_str());
}

bool WriteUpdateIniVersion(const std::string& text) {
  return WriteProfileText(kUpdateIni, L"Setting", L"Version", std::wstring(text.begin(), text.end()));
}

bool PatchPackageExists(VersionNumber v) {
  std::string path = PatchPackagePath(v);
  DWORD attributes = GetFileAttributesW(std::wstring(path.begin(), path.end()).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CheckCurrentPackage(ZUpdater& worker) {
  const ServerList& list = GlobalServerList();
  PackageCheckResult result = JudgeCurrentPackage(list.current_version, list.base_version, Present(worker));
  if (!result.missing) return false;
  Report(worker, result);
  return true;
}

bool CheckPackages(ZUpdater& worker) {
  const ServerList& list = GlobalServerList();
  PackageCheckResult result =
      JudgeManifestPackages(ManifestVersions(worker), list.base_version, Present(worker));
  if (!result.missing) return false;
  Report(worker, result);
  return true;
}

void CleanPackages(ZUpdater& worker) {
  if (CheckPackages(worker)) return;
  const ServerList& list = GlobalServerList();
  std::wstring current = CurrentDirectoryBounded(MAX_PATH);
  if (!current.empty()) {
    std::wstring dir = current + L"\\System";
    std::vector<std::u16string> names;
    if (const auto& listed = worker.system_files()) {
      for (const std::u16string& name : *listed) {
        if (EndsWithIgnoringAsciiCase(name, u".qvk")) names.push_back(name);
      }
    } else {
      WIN32_FIND_DATAW found;
      HANDLE find = FindFirstFileW((dir + L"\\*.qvk").c_str(), &found);
      if (find != INVALID_HANDLE_VALUE) {
        do {
          names.push_back(ToU16(found.cFileName));
        } while (FindNextFileW(find, &found));
        FindClose(find);
      }
    }
    for (const std::u16string& name :
         StalePackages(names, ManifestVersions(worker), list.base_version, list.current_version)) {
      DeleteFileW((dir + L"/" + std::wstring(name.begin(), name.end())).c_str());
    }
  }
  worker.SendVersionReady();
}
