#include "update/serverlist_download.h"

#include "app/launch_log.h"
#include "update/atomic_file.h"
#include "update/scramble.h"

ServerListFailureStep StepAfterFailedAttempt(int failure_count, bool transfer_failed) {
  if (failure_count <= kSilentServerListRetries) return ServerListFailureStep::kRetry;
  return transfer_failed ? ServerListFailureStep::kUseStoredList : ServerListFailureStep::kGiveUp;
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
                                     int& failure_count, const std::function<bool()>& load,
                                     const std::filesystem::path& stored,
                                     const TransferProfile& profile) {
  const std::string url = ServerListUrl(base_url);
  const CURLcode code = http.Fetch(url.c_str(), profile);
  LaunchLogf("DownloadServerlist err_code:%d\n", static_cast<int>(code));
  if (code == CURLE_OK) {
    // Whatever the body holds replaces the stored list; a body that is not a
    // list then fails to load below and counts as a failed attempt.
    StoreServerList(stored, http.body().data(), http.body().size());
    http.ReleaseBody();
    if (load()) return ServerListOutcome::kLoaded;
    ++failure_count;
    return StepAfterFailedAttempt(failure_count, false) == ServerListFailureStep::kRetry
               ? ServerListOutcome::kRetry
               : ServerListOutcome::kGiveUp;
  }
  ++failure_count;
  switch (StepAfterFailedAttempt(failure_count, true)) {
    case ServerListFailureStep::kRetry:
      return ServerListOutcome::kRetry;
    case ServerListFailureStep::kUseStoredList:
      return load() ? ServerListOutcome::kLoaded : ServerListOutcome::kGiveUp;
    case ServerListFailureStep::kGiveUp:
      break;
  }
  return ServerListOutcome::kGiveUp;
}

bool LoadServerListFile(const std::filesystem::path& stored, std::u16string_view saved_zone,
                        ServerList& list, AnsiEncoder encoder) {
  if (!ParseServerListFile(stored, list, encoder)) return false;
  if (saved_zone.size() > kSavedZoneUnits) saved_zone = saved_zone.substr(0, kSavedZoneUnits);
  if (!saved_zone.empty()) list.current_zone = FindZone(list, saved_zone);
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
