// The updater worker: one thread that runs the network and package steps of a
// launcher run, commanded by thread messages from the main dialog and
// reporting by window messages to it.
//
// Teardown and the synchronous UM_VERSION_READY: the worker waits inside
// SendMessageW while the dialog's handler runs, and the dialog's teardown
// waits for the worker's thread to end. StopUpdater() keeps the two from
// blocking each other: when it runs inside the handler of the worker's send
// it first releases the worker (ReplyMessage), and while it waits it keeps
// delivering messages sent to the window thread, so a send that has not been
// received yet is answered too. The worker does not start a UM_VERSION_READY
// send once the stop flag is set; a handler that is reached anyway during
// teardown should return at once when UpdaterStopRequested() is true.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "package/patch_list.h"
#include "update/thread_win.h"
#include "update/http_transfer.h"
#include "update/package_check.h"
#include "base/version.h"

// Messages to the worker (thread messages, wParam = lParam = 0).
constexpr UINT UM_WORKER_QUIT = 1036;
constexpr UINT UM_WORKER_GET_SERVERLIST = 1037;
constexpr UINT UM_WORKER_CHECK_PACKAGES = 1042;
// Messages to the dialog (window messages).
constexpr UINT UM_VERSION_READY = 1029;  // sent, 0, 0; the handler returns 0
constexpr UINT UM_UPDATE_ERROR = 1032;   // posted, wParam kind, lParam flag

// Kinds of UM_UPDATE_ERROR.
constexpr WPARAM kUpdateErrorServerList = 1;       // flag 0: ask again; flag 1: message 283
constexpr WPARAM kUpdateErrorMissingPackages = 8;  // flag 0; message 293, missing-version text

constexpr size_t kMissingTextUnits = 1024;   // with the terminator
constexpr size_t kBaseUrlBytes = 1024;       // with the terminator
constexpr size_t kZoneLinkTextBytes = 1024;  // with the terminator

class ZUpdater : public CThread {
 public:
  // Keeps a reference to the dialog's window handle, read at every send and
  // post. Creates the ready event and the libcurl handle and reads
  // "updatecfg.ini" [home] serverlist of the current directory. Window thread.
  explicit ZUpdater(const HWND& dialog_window);
  ~ZUpdater() override;

  // The message loop: creates the queue, sets the ready event, then handles
  // UM_WORKER_QUIT, UM_WORKER_GET_SERVERLIST and UM_WORKER_CHECK_PACKAGES in
  // order; every other number from 1024 to 32768 is taken and ignored.
  void Run() override;

  // Sets the stop flag (running transfers abort at their next block), then
  // posts UM_WORKER_QUIT. Any thread.
  void RequestStop();
  bool StopRequested() const { return stop_flag_.load(); }

  // Null if the event could not be created.
  HANDLE ready_event() const { return ready_event_.get(); }

  // Reports to the dialog. SendVersionReady waits for the handler to return
  // and does nothing once the stop flag is set. Worker thread.
  void SendVersionReady();
  void PostUpdateError(WPARAM kind, LPARAM flag);
  // Kind 8 of UM_UPDATE_ERROR with the missing-version text. Worker thread.
  void ReportMissingPackages(const PackageCheckResult& missing);

  // The worker's data, written on the worker thread; the dialog reads it only
  // inside UM_VERSION_READY or after kind 8 of UM_UPDATE_ERROR.
  const wchar_t* missing_version_text() const { return missing_version_text_; }
  void SetMissingVersionText(const std::string& ascii_text);
  const char* server_list_base_url() const { return server_list_base_url_; }
  // Copy of the chosen zone's link text; written by the dialog inside
  // UM_VERSION_READY, truncated to fit. Nothing reads it.
  void SetZoneLinkText(const char* text);
  const char* zone_link_text() const { return zone_link_text_; }

  HWND dialog_window() const { return dialog_window_; }
  HttpTransfer& http() { return http_; }
  // Distinct manifest versions, ascending as signed numbers (the patch list's own order).
  std::vector<int32_t>& version_list() { return version_list_; }
  PatchListIndex& manifest() { return manifest_; }
  // Hands a loaded manifest over to the window as its window-side index and
  // returns true; false (and `window_index` untouched) when none is loaded.
  // Called by the dialog inside UM_VERSION_READY, when the worker has done
  // with it.
  bool TakeManifest(PatchListIndex* window_index);

 protected:
  // The steps. Overridden by tests that exercise the message protocol alone.
  // The steps, each a plain function of the update layer that returns its
  // outcome; the worker alone turns outcomes into messages to the dialog.
  virtual void OnGetServerlist();  // DownloadServerlist, then ReadLinkConfig
  virtual void OnCheckPackages();  // CleanPackages

 private:
  wchar_t missing_version_text_[kMissingTextUnits] = {};
  std::atomic<bool> stop_flag_{false};
  std::atomic<bool> sending_version_ready_{false};
  UniqueHandle ready_event_;
  HttpTransfer http_;  // easy handle, transfer buffer, received count
  const HWND& dialog_window_;
  char server_list_base_url_[kBaseUrlBytes] = {};
  char zone_link_text_[kZoneLinkTextBytes] = {};
  std::vector<int32_t> version_list_;
  PatchListIndex manifest_;
  bool manifest_loaded_ = false;

  friend void StopUpdater();
};

// The process-wide reference to the worker; null before StartUpdater and
// after StopUpdater. Window thread.
ZUpdater* Updater();
// True while teardown is under way (the stop flag of the current worker).
bool UpdaterStopRequested();

// Creates the worker for the dialog's window, starts it, waits until its
// queue exists and posts UM_WORKER_GET_SERVERLIST. If the thread cannot be
// created or ends before it is ready, the worker is destroyed, kind 1 flag 1
// of UM_UPDATE_ERROR is posted to the dialog (message 283, the launcher
// closes) and false is returned. Window thread, once.
bool StartUpdater(const HWND& dialog_window);
// The same with a worker built by the caller (tests); takes ownership.
bool StartUpdater(std::unique_ptr<ZUpdater> worker);

// Teardown: RequestStop, release a send the window thread is handling, wait
// for the thread to end while delivering sent messages, destroy the worker.
// Nothing happens without a worker. Window thread.
void StopUpdater();

// LoadServerList: `document` (a body just received, unscrambled) or, when
// null, the stored list; then the saved zone ("./system/currentzone.ini") and
// the versions, into GlobalServerList(). Worker thread.
bool LoadServerList(const std::vector<unsigned char>* document);
// The process-wide count of failed server list attempts.
int& ServerListFailureCount();
