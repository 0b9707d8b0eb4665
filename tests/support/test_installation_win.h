// Test helper for the Windows hardware tests: a scratch installation
// directory with a System folder, removed with everything in it at the end,
// and level table archives built in it.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "package/qvk_writer.h"
#include "support/test_dir.h"

class TestInstallation {
 public:
  // `name` is kept for the tests' readability; every scratch directory is new.
  explicit TestInstallation(const std::string& /*name*/) {
    std::filesystem::create_directories(dir_.path() / "System");
  }
  TestInstallation(const TestInstallation&) = delete;
  TestInstallation& operator=(const TestInstallation&) = delete;

  const std::filesystem::path& dir() const { return dir_.path(); }
  std::filesystem::path Path(const std::string& relative) const { return dir_ / relative; }
  bool Exists(const std::string& relative) const {
    return std::filesystem::exists(Path(relative));
  }
  void Write(const std::string& relative, const std::string& bytes) const {
    WriteAll(Path(relative), bytes);
  }
  std::string Read(const std::string& relative) const { return ReadAll(Path(relative)); }
  // An archive holding one level table entry, stored as UTF-16LE.
  void WriteTableArchive(const std::string& archive, const std::u16string& entry,
                         const std::u16string& table) const {
    std::string bytes;
    for (char16_t c : table) {
      bytes.push_back(static_cast<char>(c & 0xFF));
      bytes.push_back(static_cast<char>(c >> 8));
    }
    Write(archive, QvkBuildArchive({{entry, bytes}}));
  }

 private:
  TestDir dir_;
};

// Makes a directory the working directory for the length of a scope.
class ScopedWorkingDirectory {
 public:
  explicit ScopedWorkingDirectory(const std::filesystem::path& dir)
      : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~ScopedWorkingDirectory() {
    std::error_code error;
    std::filesystem::current_path(old_, error);
  }
  ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
  ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

 private:
  std::filesystem::path old_;
};
