#include "update/thread_win.h"

#include <atomic>

namespace {

std::atomic<bool> g_start_fails_for_test{false};

}  // namespace

CThread::~CThread() {
  if (thread_ && WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT) {
    TerminateThread(thread_.get(), 0);
  }
}

DWORD WINAPI CThread::ThreadMain(void* self) {
  static_cast<CThread*>(self)->Run();
  return 0;
}

int CThread::Start() {
  if (thread_ || g_start_fails_for_test.load()) return -1;
  DWORD id = 0;
  HANDLE handle = CreateThread(nullptr, 0, &CThread::ThreadMain, this, 0, &id);
  if (!handle) return -1;
  thread_.reset(handle);
  thread_id_ = id;
  return 0;
}

bool CThread::Post(UINT message, WPARAM wparam, LPARAM lparam) {
  return PostThreadMessageW(thread_id_, message, wparam, lparam) != 0;
}

void CThread::SetStartFailsForTest(bool fails) { g_start_fails_for_test.store(fails); }
