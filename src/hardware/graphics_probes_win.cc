#include "hardware/graphics_probes_win.h"

#include "base/launch_log.h"
#include "hardware/d3d9_loader_win.h"
#include "hardware/probes_win.h"

CGraphicsProbes::CGraphicsProbes()
    : d3d9_checked_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (d3d9_checked_) thread_.reset(CreateThread(nullptr, 0, &Run, this, 0, nullptr));
  if (!thread_) RunProbes();
}

CGraphicsProbes::~CGraphicsProbes() {
  WaitForThread();
  direct3d_.reset();
}

DWORD WINAPI CGraphicsProbes::Run(void* self) {
  static_cast<CGraphicsProbes*>(self)->RunProbes();
  return 0;
}

void CGraphicsProbes::RunProbes() {
  direct3d_ = std::make_unique<ScopedDirect3D9>();
  d3d9_passed_ = D3D9Check(direct3d_->get(), &d3d9_lines_);
  if (d3d9_checked_) SetEvent(d3d9_checked_.get());
  // Only a run whose check passed ever asks for it.
  if (d3d9_passed_) video_memory_mb_ = QueryVideoMemoryMB();
}

void CGraphicsProbes::WaitForD3D9Check() {
  if (thread_) WaitForSingleObject(d3d9_checked_.get(), INFINITE);
}

void CGraphicsProbes::WaitForThread() {
  if (!thread_) return;
  WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
}

bool CGraphicsProbes::TakeD3D9Check() {
  WaitForD3D9Check();
  if (!d3d9_lines_written_) {
    for (const std::string& line : d3d9_lines_) LaunchLogWrite(line.c_str());
    d3d9_lines_written_ = true;
  }
  return d3d9_passed_;
}

IDirect3D9* CGraphicsProbes::direct3d() {
  WaitForD3D9Check();
  return direct3d_ ? direct3d_->get() : nullptr;
}

void CGraphicsProbes::ReleaseDirect3D() {
  WaitForD3D9Check();
  direct3d_.reset();
}

int32_t CGraphicsProbes::TakeVideoMemoryMB() {
  WaitForThread();
  return video_memory_mb_;
}
