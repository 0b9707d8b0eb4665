// The download program's Windows side: which programs it must not run
// beside, what the installation's INI files say, and the run itself.
#pragma once

#include <windows.h>

#include <string>

#include "download/download_engine.h"
#include "download/result_text.h"

// Exit statuses of downloader.exe.
inline constexpr int kExitDone = 0;       // up to date, or brought up to date
inline constexpr int kExitFailed = 1;     // see System/download.log
inline constexpr int kExitUsage = 2;
inline constexpr int kExitRefused = 3;    // the game, a launcher or another download program runs

// Takes the download program's semaphore for the life of the process (once:
// a later call keeps it), then checks that neither the game nor a launcher
// runs. kNone when this program may run; it has then also tidied what a
// swap of the programs left.
Blocker ClaimDownloaderRun();

// Gives the download program's semaphore back, so that a launcher started
// now may run; a later ClaimDownloaderRun takes it again.
void ReleaseDownloaderRun();

// Waits up to `timeout_ms` for process `pid` to end; true when it has (or
// was gone already).
bool WaitForProcessEnd(DWORD pid, DWORD timeout_ms);

// Starts the installation's launcher.exe with "--after-download" and the
// command text the launcher that started this program was given. Returns
// ERROR_SUCCESS or the system's error code.
DWORD StartLauncherAfterDownload(const std::wstring& command_text);

// What runs, for the log: "the game", "a launcher", "another download program".
const char* BlockerName(Blocker blocker);

// The installation in the current directory, as the launcher reads it, with
// the keys its release indexes must be signed by: updatecfg.ini [trust] root=
// and release=, each replaced by update.ini [Download] Root= and Release=
// once a rotation wrote them (unless updatecfg.ini [trust] serial is above
// update.ini [Download] KeysSerial), and the higher of those serials.
InstallationState ReadInstallation();

// "./updatecfg.ini" [download]: parallel, max_kbps, proxy, stall_seconds,
// connect_timeout_seconds. Missing keys keep their defaults.
DownloadSettings ReadDownloadSettings();

// The update.ini writers of the engine.
bool WriteInstallationVersion(VersionNumber latest, uint64_t serial);
bool WriteAdoptedKeys(const TrustedKeys& keys, uint64_t keys_serial, uint64_t index_serial);
