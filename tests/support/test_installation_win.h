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

class TestInstallation {
 public:
  explicit TestInstallation(const std::string& name) {
    dir_ = std::filesystem::temp_directory_path() /
           ("hw_" + name + "_" + std::to_string(GetCurrentProcessId()));
    std::error_code error;
    std::filesystem::remove_all(dir_, error);
    std::filesystem::create_directories(dir_ / "System");
  }
  ~TestInstallation() {
    std::error_code error;
    std::filesystem::remove_all(dir_, error);
  }
  TestInstallation(const TestInstallation&) = delete;
  TestInstallation& operator=(const TestInstallation&) = delete;

  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path Path(const std::string& relative) const { return dir_ / relative; }
  bool Exists(const std::string& relative) const {
    return std::filesystem::exists(Path(relative));
  }
  void Write(const std::string& relative, const std::string& bytes) const {
    std::ofstream(Path(relative), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(Path(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
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
  std::filesystem::path dir_;
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
