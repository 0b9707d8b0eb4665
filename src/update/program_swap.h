// Replacing the installation's own programs (launcher.exe, downloader.exe)
// by a new copy that waits verified and flushed in download/, so that a kill
// at any instruction leaves programs that start:
// - a program that does not run (the launcher: the download program does not
//   run beside one) is replaced in one step, so it is always there, old or
//   new;
// - the running download program cannot be replaced, but Windows lets it be
//   renamed: it goes aside as "<stem>.old.exe", then the new copy takes its
//   name. Killed between the two, it is missing beside its old copy.
// At every start either program tidies: a program missing beside its old
// copy gets the old copy back, then old copies are deleted; the next update
// swaps again. Portable; the file operations go through SwapFiles.
#pragma once

#include <filesystem>
#include <string>

// The few file operations of a swap, for tests to fail at any one.
class SwapFiles {
 public:
  virtual ~SwapFiles() = default;
  virtual bool Exists(const std::filesystem::path& path) = 0;
  // Renames `from` to `to`, which must not exist. False when refused.
  virtual bool Rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  // Renames `from` to `to`, replacing `to` in one step. False when refused.
  virtual bool Replace(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  // Deletes `path`; true when it is gone.
  virtual bool Remove(const std::filesystem::path& path) = 0;
};

// The disk, through std::filesystem. A refused rename or delete (a scanner
// holds the file) is tried again for up to `retry_ms`.
class DiskSwapFiles : public SwapFiles {
 public:
  explicit DiskSwapFiles(int retry_ms) : retry_ms_(retry_ms) {}
  ~DiskSwapFiles() override = default;
  bool Exists(const std::filesystem::path& path) override;
  bool Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
  bool Replace(const std::filesystem::path& from, const std::filesystem::path& to) override;
  bool Remove(const std::filesystem::path& path) override;

 private:
  int retry_ms_;
};

// "launcher.old.exe" for "launcher.exe".
std::string OldProgramName(const std::string& installed_name);

// Puts `fresh` in place of `installed`; `running`: `installed` is the
// running program, renamed aside first. False when a step was refused: the
// installation then still has a program that starts (the old one, or the
// old copy the next start restores).
bool SwapProgram(SwapFiles& files, const std::filesystem::path& installed, const std::filesystem::path& fresh,
                 bool running);

// At a program's start: for each updatable program in `root`, restores a
// missing one from its old copy, then deletes the old copies it can (a
// running one cannot be deleted; it goes at a later start).
void TidyPrograms(SwapFiles& files, const std::filesystem::path& root);
