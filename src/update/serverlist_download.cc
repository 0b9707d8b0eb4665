#include "update/serverlist_download.h"

#include "base/launch_log.h"
#include "update/atomic_file.h"
#include "base/scramble.h"

ServerListFailureStep StepAfterFailedAttempt(int failure_count) {
  return failure_count <= kSilentServerListRetries ? ServerListFailureStep::kRetry
                                                   : ServerListFailureStep::kUseStoredList;
}

std::string ServerListUrl(std::string_view base_url) {
  static constexpr std::string_view kSuffix = "/serverlist.xml";
  if (base_url.size() + kSuffix.size() > kMaxUrlBytes) return {};
  std::string url(base_url);
  url += kSuffix;
  return url;
}

bool StoreServerList(const std::filesystem::path& path, unsigned char* body, std::size_t size) {
  ScrambleBytes(body, size);
  return WriteFileReplacing(path, body, size);
}

ServerListOutcome DownloadServerlist(HttpTransfer& http, std::string_view base_url,
                                     int& failure_count, const ServerListLoader& load,
                                     const std::filesystem::path& stored,
                                     const TransferProfile& profile) {
  const std::string url = ServerListUrl(base_url);
  const CURLcode code = http.Fetch(url.c_str(), profile);
  LaunchLogf("DownloadServerlist err_code:%d\n", static_cast<int>(code));
  bool loaded = false;
  if (code == CURLE_OK) {
    // Only a body that loads replaces the stored list: a portal's login page
    // or a maintenance notice must not cost the list of an earlier run.
    loaded = load(&http.body());
    if (loaded) StoreServerList(stored, http.body().data(), http.body().size());
    http.ReleaseBody();
  }
  if (loaded) return ServerListOutcome::kLoaded;
  ++failure_count;
  if (StepAfterFailedAttempt(failure_count) == ServerListFailureStep::kRetry) {
    return ServerListOutcome::kRetry;
  }
  return load(nullptr) ? ServerListOutcome::kLoaded : ServerListOutcome::kGiveUp;
}

namespace {

void ApplySavedZone(std::u16string_view saved_zone, ServerList& list) {
  if (saved_zone.size() > kSavedZoneUnits) saved_zone = saved_zone.substr(0, kSavedZoneUnits);
  if (!saved_zone.empty()) list.current_zone = FindZone(list, saved_zone);
}

}  // namespace

bool LoadServerListFile(const std::filesystem::path& stored, std::u16string_view saved_zone,
                        ServerList& list, AnsiEncoder encoder) {
  if (!ParseServerListFile(stored, list, encoder)) return false;
  ApplySavedZone(saved_zone, list);
  return true;
}

bool LoadServerListDocument(const std::vector<unsigned char>& document,
                            std::u16string_view saved_zone, ServerList& list,
                            AnsiEncoder encoder) {
  if (!ParseServerListDocument(reinterpret_cast<const char*>(document.data()), document.size(),
                               list, encoder)) {
    return false;
  }
  ApplySavedZone(saved_zone, list);
  return true;
}

const ZoneRecord* FindZone(const ServerList& list, std::u16string_view name) {
  for (const auto& zone : list.zones) {
    if (zone->Name() == name) return zone.get();
  }
  return nullptr;
}

const ZoneRecord* ChooseCurrentZone(const ServerList& list) {
  if (list.current_zone != nullptr) return list.current_zone;
  for (const auto& zone : list.zones) {
    if (zone->preferred != 0) return zone.get();
  }
  return list.zones.empty() ? nullptr : list.zones.front().get();
}
