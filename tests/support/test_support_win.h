// Test fixtures of the updater's Windows tests (header only, test code only):
// a scratch installation directory that is the working directory while it
// lives, and a stand-in for the main dialog that records what the worker
// sends and posts to it.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "update/updater_win.h"

namespace updater_test {

namespace fs = std::filesystem;

inline std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh directory with a System/ folder, made the working directory; the
// previous working directory is restored and the tree removed afterwards.
class ScratchInstall {
 public:
  ScratchInstall() {
    static int serial = 0;
    previous_ = fs::current_path();
    root_ = fs::temp_directory_path() /
            ("updater_test_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++serial));
    std::error_code ec;
    fs::remove_all(root_, ec);
    fs::create_directories(root_ / "System");
    fs::current_path(root_);
  }
  ~ScratchInstall() {
    fs::current_path(previous_);
    for (auto& entry : fs::recursive_directory_iterator(root_, fs::directory_options::skip_permission_denied)) {
      SetFileAttributesW(entry.path().wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  ScratchInstall(const ScratchInstall&) = delete;
  ScratchInstall& operator=(const ScratchInstall&) = delete;
  const fs::path& root() const { return root_; }

 private:
  fs::path previous_;
  fs::path root_;
};

struct DialogEvent {
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};

// A top-level (hidden) window standing in for the main dialog, on the thread
// that creates it. UM_VERSION_READY and UM_UPDATE_ERROR are recorded;
// on_version_ready runs inside the worker's send.
class StandInDialog {
 public:
  StandInDialog() {
    static const wchar_t* const kClass = L"UpdaterTestStandInDialog";
    static bool registered = false;
    if (!registered) {
      WNDCLASSW wc = {};
      wc.lpfnWndProc = &StandInDialog::WndProc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = kClass;
      registered = RegisterClassW(&wc) != 0;
    }
    hwnd_ = CreateWindowW(kClass, L"stand-in", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                          GetModuleHandleW(nullptr), this);
  }
  ~StandInDialog() {
    if (hwnd_) DestroyWindow(hwnd_);
  }
  StandInDialog(const StandInDialog&) = delete;
  StandInDialog& operator=(const StandInDialog&) = delete;

  // The dialog's window handle, referenced by the worker.
  const HWND& hwnd() const { return hwnd_; }
  const std::vector<DialogEvent>& events() const { return events_; }
  std::function<void()> on_version_ready;
  std::function<void(WPARAM kind, LPARAM flag)> on_update_error;

  // Dispatches messages (sent ones included) until done() or the deadline.
  // Returns done().
  bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms = 60000) {
    DWORD start = GetTickCount();
    while (!done()) {
      DWORD elapsed = GetTickCount() - start;
      if (elapsed >= timeout_ms) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, timeout_ms - elapsed, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    return true;
  }

  int Count(UINT message) const {
    int n = 0;
    for (const DialogEvent& e : events_) n += e.message == message;
    return n;
  }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<StandInDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && (message == UM_VERSION_READY || message == UM_UPDATE_ERROR)) {
      self->events_.push_back({message, wparam, lparam});
      if (message == UM_VERSION_READY && self->on_version_ready) self->on_version_ready();
      if (message == UM_UPDATE_ERROR && self->on_update_error) self->on_update_error(wparam, lparam);
      return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  HWND hwnd_ = nullptr;
  std::vector<DialogEvent> events_;
};

}  // namespace updater_test
