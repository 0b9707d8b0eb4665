#include "base/instance_marker_win.h"

#include "base/owners_win.h"

const wchar_t kGameRunningSemaphore[] = L"RUONLINE{bd1a956d-f42d-49d6-ad4a-9a171de62944}";
const wchar_t kDownloaderSemaphore[] = L"TLONLINE{AF10B0A9-D1C4-59F1-4A14-D34C5B1F0951}";
const wchar_t kInstanceSemaphore[] = L"TLONLINE{1421004F-3FC7-451A-BA84-4990A24D5746}";

// The semaphores are only tested for existence, so they are opened for
// SYNCHRONIZE alone: one made by an elevated program may refuse a launcher
// that is not elevated any more than that, or even that. A refusal still
// means the semaphore exists.
bool NamedSemaphoreExists(const wchar_t* name) {
  const UniqueHandle handle(OpenSemaphoreW(SYNCHRONIZE, FALSE, name));
  return handle || GetLastError() == ERROR_ACCESS_DENIED;
}

bool TakeInstanceMarker(const wchar_t* name, HANDLE* held) {
  // The handle stays open for the life of the process on purpose.
  UniqueHandle marker(CreateSemaphoreExW(nullptr, 1, 1, name, 0, SYNCHRONIZE));
  const DWORD error = GetLastError();
  // Refused: an elevated launcher holds the marker. Any other failure to
  // create it does not stop this launcher.
  if (!marker) return error != ERROR_ACCESS_DENIED;
  if (error == ERROR_ALREADY_EXISTS) return false;
  const HANDLE kept = marker.release();  // kept open until the process ends, or handed over
  if (held) *held = kept;
  return true;
}

