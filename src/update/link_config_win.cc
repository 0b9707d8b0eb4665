#include "update/link_config_win.h"

#include <windows.h>

#include <optional>
#include <string>

#include "base/profile_win.h"
#include "base/text_win.h"
#include "package/patch_list.h"
#include "package/qvk_archive.h"
#include "serverlist/server_list.h"
#include "update/http_transfer.h"
#include "update/link_source.h"
#include "update/version_win.h"

namespace {

constexpr size_t kLinkValueUnits = 2048;
constexpr size_t kLinkValueBytes = 1024;
constexpr size_t kArchiveEntryUnits = 300;

struct LinkUrls {
  std::string proxy;
  std::string pqxenc;
  std::string pqxbsid;
};

LinkUrls ReadLinkUrls(const std::wstring& path) {
  auto read = [&](const wchar_t* key) {
    return WideToAnsiBounded(ReadProfileText(path, L"common", key, L"", kLinkValueUnits), kLinkValueBytes);
  };
  return LinkUrls{read(L"proxy"), read(L"pqxenc"), read(L"pqxbsid")};
}

std::u16string ToU16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
std::u16string AsciiToU16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

ManifestLinkEntry FindLinkEntry(const PatchListIndex& manifest) {
  ManifestLinkEntry link;
  if (const std::optional<PatchListEntry> found = manifest.Find("LINK.INI")) {
    link.present = true;
    link.entry = found->entry_name;
    link.version = found->version;
  }
  return link;
}

// Extracts the chosen entry to "<dir>/System/linkTemp.ini", reads the URLs and
// removes the temporary file. Empty URLs when the archive or entry fails.
LinkUrls ReadLinkUrlsFromArchive(const LinkSourceChoice& choice, const std::wstring& dir) {
  LinkUrls urls;
  const QvkArchivePtr archive(QvkOpen(AsciiToU16(choice.archive).c_str()));
  if (!archive) return urls;
  std::u16string entry = ToU16(AnsiToWideBounded(choice.entry, kArchiveEntryUnits + 1));
  std::wstring temp = dir + L"/System/linkTemp.ini";
  if (QvkExtract(archive.get(), entry.c_str(), ToU16(temp).c_str()) >= 0) {
    urls = ReadLinkUrls(temp);
  }
  DeleteFileW(temp.c_str());  // also a partial file left by a failed copy
  return urls;
}

}  // namespace

LinkConfigResult ReadLinkConfig(HttpTransfer& http, const std::atomic<bool>& stop, PatchListIndex* manifest,
                                std::vector<int32_t>* versions) {
  LinkConfigResult result;
  if (std::optional<PackageCheckResult> missing = CheckCurrentPackage()) {
    result.outcome = LinkConfigOutcome::kCurrentPackageMissing;
    result.missing = *missing;
    return result;
  }
  const ServerList& list = GlobalServerList();
  const bool manifest_loaded = LoadPatchList(list.current_version, manifest, versions) == 1;

  std::wstring dir = CurrentDirectoryBounded(MAX_PATH);
  if (dir.empty()) dir = L".";
  std::wstring local = dir + L"/System/linkconfig.ini";
  DWORD attributes = GetFileAttributesW(local.c_str());
  bool local_exists = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);

  LinkSourceChoice choice = ChooseLinkSource(local_exists, FindLinkEntry(*manifest), list.base_version);
  LinkUrls urls = choice.source == LinkSource::kLocalFile ? ReadLinkUrls(local)
                                                          : ReadLinkUrlsFromArchive(choice, dir);

  // Failures leave the side files as they were and are not reported. Once
  // the launcher is closing, no new transfer is started.
  if (stop.load()) {
    result.outcome = LinkConfigOutcome::kStopped;
    return result;
  }
  if (!urls.proxy.empty()) DownloadToFile(http, urls.proxy.c_str(), kProxyFile, false);
  if (!urls.pqxenc.empty()) DownloadToFile(http, urls.pqxenc.c_str(), kPqxEncFile, false);
  if (!urls.pqxbsid.empty()) DownloadToFile(http, urls.pqxbsid.c_str(), kPqxBsidFile, true);
  result.outcome = manifest_loaded ? LinkConfigOutcome::kManifestLoaded : LinkConfigOutcome::kNoManifest;
  return result;
}
