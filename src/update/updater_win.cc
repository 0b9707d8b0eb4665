#include "update/updater_win.h"

#include <cstring>
#include <optional>
#include <utility>

#include "base/profile_win.h"
#include "base/text_win.h"
#include "serverlist/server_list.h"
#include "update/current_zone_win.h"
#include "update/link_config_win.h"
#include "update/serverlist_download.h"
#include "update/version_win.h"

namespace {

ZUpdater* g_updater = nullptr;

}  // namespace

// ---- ZUpdater ----

ZUpdater::ZUpdater(const HWND& dialog_window)
    : ready_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      http_(stop_flag_),
      dialog_window_(dialog_window) {
  const std::string url = ReadServerListBaseUrl(sizeof server_list_base_url_);
  std::memcpy(server_list_base_url_, url.c_str(), url.size() + 1);
}

ZUpdater::~ZUpdater() = default;

void ZUpdater::Run() {
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  SetEvent(ready_event_.get());
  for (;;) {
    // -1 (a failed wait) ends the loop too: waiting again would spin.
    if (GetMessageW(&msg, nullptr, WM_USER, WM_APP) <= 0) return;
    switch (msg.message) {
      case UM_WORKER_QUIT:
        return;
      case UM_WORKER_GET_SERVERLIST:
        OnGetServerlist();
        break;
      case UM_WORKER_CHECK_PACKAGES:
        OnCheckPackages();
        break;
      default:
        break;
    }
  }
}

void ZUpdater::RequestStop() {
  stop_flag_.store(true);
  Post(UM_WORKER_QUIT, 0, 0);
}

void ZUpdater::SendVersionReady() {
  if (stop_flag_.load()) return;  // teardown has begun; nobody waits for the result
  sending_version_ready_.store(true);
  SendMessageW(dialog_window_, UM_VERSION_READY, 0, 0);
  sending_version_ready_.store(false);
}

void ZUpdater::PostUpdateError(WPARAM kind, LPARAM flag) {
  PostMessageW(dialog_window_, UM_UPDATE_ERROR, kind, flag);
}

void ZUpdater::SetMissingVersionText(const std::string& ascii_text) {
  size_t n = 0;
  for (; n < ascii_text.size() && n + 1 < kMissingTextUnits; ++n) {
    missing_version_text_[n] = static_cast<unsigned char>(ascii_text[n]);
  }
  missing_version_text_[n] = L'\0';
}

void ZUpdater::SetZoneLinkText(const char* text) {
  size_t n = text ? strnlen(text, sizeof zone_link_text_ - 1) : 0;
  if (n) std::memcpy(zone_link_text_, text, n);
  zone_link_text_[n] = '\0';
}

bool ZUpdater::TakeManifest(PatchListIndex* window_index) {
  if (!manifest_loaded_ || window_index == nullptr) return false;
  manifest_loaded_ = false;
  *window_index = std::move(manifest_);
  manifest_ = PatchListIndex();
  window_index->UseWindowKeys();
  return true;
}

void ZUpdater::OnGetServerlist() {
  ServerListOutcome outcome = DownloadServerlist(http_, server_list_base_url_,
                                                 ServerListFailureCount(), &LoadServerList);
  // A transfer cut short by the stop flag: the launcher is closing, and a
  // retry request would only reach a dialog that is being destroyed.
  if (StopRequested()) return;
  switch (outcome) {
    case ServerListOutcome::kLoaded: {
      const LinkConfigResult result = ReadLinkConfig(http_, stop_flag_, &manifest_, &version_list_);
      manifest_loaded_ = result.outcome == LinkConfigOutcome::kManifestLoaded;
      switch (result.outcome) {
        case LinkConfigOutcome::kCurrentPackageMissing:
          ReportMissingPackages(result.missing);
          break;
        case LinkConfigOutcome::kManifestLoaded:
          Post(UM_WORKER_CHECK_PACKAGES, 0, 0);
          break;
        case LinkConfigOutcome::kNoManifest:
          SendVersionReady();
          break;
        case LinkConfigOutcome::kStopped:
          break;
      }
      break;
    }
    case ServerListOutcome::kRetry:
      PostUpdateError(kUpdateErrorServerList, 0);
      break;
    case ServerListOutcome::kGiveUp:
      PostUpdateError(kUpdateErrorServerList, 1);
      break;
  }
}

void ZUpdater::OnCheckPackages() {
  if (std::optional<PackageCheckResult> missing = CleanPackages(version_list_)) {
    ReportMissingPackages(*missing);
  } else {
    SendVersionReady();
  }
}

void ZUpdater::ReportMissingPackages(const PackageCheckResult& missing) {
  SetMissingVersionText(missing.missing_text);
  PostUpdateError(kUpdateErrorMissingPackages, 0);
}

// ---- process-wide worker ----

ZUpdater* Updater() { return g_updater; }

bool UpdaterStopRequested() { return g_updater && g_updater->StopRequested(); }

bool StartUpdater(const HWND& dialog_window) {
  return StartUpdater(std::make_unique<ZUpdater>(dialog_window));
}

bool StartUpdater(std::unique_ptr<ZUpdater> worker) {
  if (g_updater || !worker) return false;
  HWND dialog = worker->dialog_window();
  bool ready = false;
  if (worker->ready_event() && worker->Start() == 0) {
    // Waits for the queue, or for a thread that ended without making one.
    HANDLE waits[2] = {worker->ready_event(), worker->thread_handle()};
    ready = WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0;
    if (!ready) {
      worker->RequestStop();
      WaitForSingleObject(worker->thread_handle(), INFINITE);
    }
  }
  if (!ready) {
    // Without a worker no server list can come; the dialog closes the
    // launcher with message 283 instead of waiting for ever.
    PostMessageW(dialog, UM_UPDATE_ERROR, kUpdateErrorServerList, 1);
    return false;
  }
  g_updater = worker.release();
  g_updater->Post(UM_WORKER_GET_SERVERLIST, 0, 0);
  return true;
}

void StopUpdater() {
  ZUpdater* worker = g_updater;
  if (!worker) return;
  worker->RequestStop();
  // Called from inside the handler of the worker's UM_VERSION_READY (the
  // launcher closing within it): answer the send now, or the worker could
  // never leave it and the wait below would never end.
  if (worker->sending_version_ready_.load() && InSendMessage()) ReplyMessage(0);
  HANDLE thread = worker->thread_handle();
  while (thread) {
    DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) break;
    // Delivers messages sent to this thread (a UM_VERSION_READY whose send
    // began before the stop flag was seen); posted messages stay queued.
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  g_updater = nullptr;
  delete worker;
}

// ---- LoadServerList ----

bool LoadServerList(const std::vector<unsigned char>* document) {
  ServerList& list = GlobalServerList();
  const std::u16string saved_zone = ReadSavedZone();
  const bool loaded =
      document ? LoadServerListDocument(*document, saved_zone, list, &Utf16ToAnsiCodePage)
               : LoadServerListFile(kStoredServerListPath, saved_zone, list, &Utf16ToAnsiCodePage);
  if (!loaded) return false;
  ReadVersions(list);
  return true;
}

int& ServerListFailureCount() {
  static int count = 0;
  return count;
}
