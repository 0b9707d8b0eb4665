// The named semaphores by which the game, the launcher and the download
// program see each other: each holds its own for its whole run, and none
// starts beside another that must not run at the same time.
#pragma once

#include <windows.h>

extern const wchar_t kGameRunningSemaphore[];   // held by the game
extern const wchar_t kDownloaderSemaphore[];    // held by the download program
extern const wchar_t kInstanceSemaphore[];      // held by the launcher

// Whether a semaphore of that name exists (only its existence matters), also
// one that refuses this process access. It is opened and closed at once.
bool NamedSemaphoreExists(const wchar_t* name);

// Creates this program's instance marker; its handle stays open for the life
// of the process. False when another program holds the marker already, also
// when the marker refuses this process access (an elevated program's).
// `held`, if given, receives the marker's handle, which the caller then owns
// and closes when the program may run beside the others again.
bool TakeInstanceMarker(const wchar_t* name, HANDLE* held = nullptr);
