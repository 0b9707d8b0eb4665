// The one click from "too old" to playing: where the launcher would tell the
// player to go and find the download program, it offers to start it. The
// download program then waits for this launcher to end, brings the
// installation up to date and starts the launcher again with the same
// command text (after kAfterDownloadFlag, so that it never offers again).
#pragma once

#include <windows.h>

#include <string>

// Whether downloader.exe lies in the installation (the working directory).
bool DownloaderBeside();

// downloader.exe --then-start-launcher --wait-for=<pid> --launcher-args=<text>
std::wstring DownloaderCommandLine(const std::wstring& program, DWORD pid, const std::u16string& command_text);

// Starts the installation's downloader.exe for this launcher's process and
// command text; false when it could not be started.
bool StartDownloaderForUpdate(const std::u16string& command_text);
