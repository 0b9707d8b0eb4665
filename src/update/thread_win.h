// A thread with a message queue of its own, the base of the updater worker.
#pragma once

#include <windows.h>

#include "base/owners_win.h"

// Worker threads: Start() runs Run() on a new thread.
class CThread {
 public:
  CThread() = default;
  CThread(const CThread&) = delete;
  CThread& operator=(const CThread&) = delete;
  // Terminates a thread that still runs (teardown joins it first, so this
  // finds nothing to stop) and closes the handle.
  virtual ~CThread();

  // The thread's body.
  virtual void Run() = 0;

  // Creates the thread (default stack, runs at once). 0 on success, -1 when
  // it cannot be created (or a second Start is attempted).
  int Start();
  // PostThreadMessageW to the thread; false if it could not be posted.
  bool Post(UINT message, WPARAM wparam, LPARAM lparam);

  DWORD thread_id() const { return thread_id_; }
  HANDLE thread_handle() const { return thread_.get(); }

  // Makes every later Start() fail, as if the system refused the thread.
  static void SetStartFailsForTest(bool fails);

 private:
  static DWORD WINAPI ThreadMain(void* self);

  DWORD thread_id_ = 0;
  UniqueHandle thread_;
};
