// Test fixtures of the launcher window's Windows tests (test code only): a
// stand-in for the skin window that records WM_CLOSE, a recorder of message
// boxes, and a main dialog whose system calls are scripted.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/message_box_win.h"
#include "base/resource.h"
#include "base/text_win.h"
#include "ui/main_dlg_win.h"
#include "support/test_support_win.h"

namespace ui_test {

using updater_test::ReadAll;
using updater_test::ScratchInstall;
using updater_test::WriteAll;

// A hidden top-level window owning the dialog under test.
class RecordingOwner {
 public:
  RecordingOwner() {
    static const wchar_t* const kClass = L"UiTestRecordingOwner";
    static bool registered = false;
    if (!registered) {
      WNDCLASSW wc = {};
      wc.lpfnWndProc = &RecordingOwner::WndProc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = kClass;
      registered = RegisterClassW(&wc) != 0;
    }
    hwnd_ = CreateWindowExW(0, kClass, L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);
  }
  ~RecordingOwner() {
    if (hwnd_) DestroyWindow(hwnd_);
  }
  RecordingOwner(const RecordingOwner&) = delete;
  RecordingOwner& operator=(const RecordingOwner&) = delete;

  HWND hwnd() const { return hwnd_; }
  int close_count() const { return close_count_; }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<RecordingOwner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message == WM_CLOSE) {
      ++self->close_count_;
      return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  HWND hwnd_ = nullptr;
  int close_count_ = 0;
};

struct RecordedBox {
  HWND owner;
  std::wstring text;
  std::wstring caption;
  UINT type;
};

// Answers every box with OK and records it, for the life of the object.
class BoxRecorder {
 public:
  BoxRecorder() {
    SetMessageBoxHandlerForTest([this](HWND owner, const std::wstring& text,
                                       const std::wstring& caption, UINT type) {
      boxes_.push_back({owner, text, caption, type});
      return IDOK;
    });
  }
  ~BoxRecorder() { SetMessageBoxHandlerForTest(nullptr); }
  BoxRecorder(const BoxRecorder&) = delete;
  BoxRecorder& operator=(const BoxRecorder&) = delete;
  const std::vector<RecordedBox>& boxes() const { return boxes_; }

 private:
  std::vector<RecordedBox> boxes_;
};

// A main dialog whose graphics check, worker, shell and clock are scripted.
// Set `real_*` to use the system's own call instead.
class ScriptedMainDlg : public CMainDlg {
 public:
  explicit ScriptedMainDlg(const LaunchContext& context) : CMainDlg(context) {}

  bool d3d9 = true;
  int first_start = 1;
  ShellOutcome shell{42, 0};
  bool process_starts = false;
  int admin = 0;
  int64_t now = 0;
  bool real_worker = false;  // StartUpdater and StopUpdater
  bool real_stop = false;    // StopUpdater only
  bool real_shell = false;

  int start_worker_calls = 0;
  int stop_worker_calls = 0;
  std::vector<DWORD> pauses;
  std::vector<std::wstring> shell_calls;    // "path|parameters|directory"
  std::vector<std::wstring> process_calls;  // "application|command line|directory"

  int RunFirstStartCheck() override { return first_start; }

 protected:
  bool CheckD3D9() override { return d3d9; }
  bool StartWorker() override {
    ++start_worker_calls;
    return real_worker ? CMainDlg::StartWorker() : true;
  }
  void StopWorker() override {
    ++stop_worker_calls;
    if (real_worker || real_stop) CMainDlg::StopWorker();
  }
  ShellOutcome ShellOpen(const std::wstring& path, const std::wstring& parameters,
                         const std::wstring& directory) override {
    shell_calls.push_back(path + L"|" + parameters + L"|" + directory);
    return real_shell ? CMainDlg::ShellOpen(path, parameters, directory) : shell;
  }
  bool StartProcess(const std::wstring& application, const std::wstring& command_line,
                    const std::wstring& directory) override {
    process_calls.push_back(application + L"|" + command_line + L"|" + directory);
    return real_shell ? CMainDlg::StartProcess(application, command_line, directory)
                      : process_starts;
  }
  int IsAdministrator() override { return admin; }
  int64_t Now() override { return now; }
  void Pause(DWORD milliseconds) override { pauses.push_back(milliseconds); }
};

inline LaunchContext TestContext() {
  LaunchContext context;
  context.launch_arguments = u"zone=3&1700000000";
  context.start_time = 1700000000;
  return context;
}

inline std::string LaunchLog() { return ReadAll("System/launch.log"); }

}  // namespace ui_test
