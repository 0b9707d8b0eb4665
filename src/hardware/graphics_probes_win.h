// The two slow probes of a run, the Direct3D 9 capability check and then the
// DirectDraw video memory query, run on a thread of their own that starts as
// the launcher's window is about to be made. Under Wine each costs a few
// hundred milliseconds of driver start-up; on the window thread they were
// most of the way to the game. Now the check overlaps the window's making
// and the query overlaps the network phase. They run one after the other
// because Wine serialises their driver start-up anyway: run side by side,
// the check, which the run waits for first, would only take longer.
//
// The window thread takes each result where the run needs it. The check's log
// lines are kept until then and written by the window thread, so the log
// reads line for line as if the probes ran there. Every object a probe makes
// is released here, on every path; the destructor waits for the thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/owners_win.h"

struct IDirect3D9;
class ScopedDirect3D9;

class CGraphicsProbes {
 public:
  // Starts the probes. Without a thread (or an event) they run here.
  CGraphicsProbes();
  ~CGraphicsProbes();
  CGraphicsProbes(const CGraphicsProbes&) = delete;
  CGraphicsProbes& operator=(const CGraphicsProbes&) = delete;

  // Waits for the capability check, writes its log lines to the launch log
  // (once) and returns its result.
  bool TakeD3D9Check();
  // The interface the check created, lent for the adapter level query; null
  // when Direct3D 9 is missing or after ReleaseDirect3D. Waits for the check.
  IDirect3D9* direct3d();
  void ReleaseDirect3D();
  // Waits for the video memory query and returns its result (MiB or -1;
  // -1 too when the check failed, as no run then asks for it).
  int32_t TakeVideoMemoryMB();

 private:
  static DWORD WINAPI Run(void* self);
  void RunProbes();
  void WaitForD3D9Check();
  void WaitForThread();

  UniqueHandle d3d9_checked_;  // set once the check's results are stored
  UniqueHandle thread_;
  // Written by the probe thread before the event or its end, read after.
  std::unique_ptr<ScopedDirect3D9> direct3d_;
  std::vector<std::string> d3d9_lines_;
  bool d3d9_passed_ = false;
  bool d3d9_lines_written_ = false;
  int32_t video_memory_mb_ = -1;
};
