// Helpers shared by the qvk commands: messages, archive handles, the
// progress line and building an archive through a temporary file.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "package/qvk_archive.h"

std::string U8(const std::u16string& text);
std::string PathText(const std::filesystem::path& path);

// Prints "qvk: MESSAGE" on standard error; returns exit status 1.
int Fail(const std::string& message);
// Prints "qvk: warning: MESSAGE" on standard error.
void Warn(const std::string& message);

// Opens an archive or prints why not (status 1 in *status).
QvkArchivePtr OpenArchive(const std::u16string& path, int* status);

// A progress line on standard error ("qvk: create 120/4000 files"), drawn only
// when standard error is a terminal and the work has run for a second, at
// most five times a second; erased when the work ends.
class Progress {
 public:
  Progress(const char* what, int64_t total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  void Advance(int64_t done = 1);

 private:
  std::string what_;
  int64_t total_;
  int64_t done_ = 0;
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
};

// One entry of an archive to build: data from a file or from memory.
struct ArchiveInput {
  std::u16string name;
  std::filesystem::path source;  // used when `data` is empty and `from_memory` is false
  bool from_memory = false;
  std::string data;
};

// Writes the entries in the order given to "<archive>.tmp" beside it and then
// replaces the archive with it; on any failure the temporary file is removed,
// a previous archive stays as it was and `error` names the file and the step.
bool WriteArchiveReplacing(const std::filesystem::path& archive,
                           const std::vector<ArchiveInput>& inputs, Progress* progress,
                           std::string* error);

// Refuses names the archive could not tell apart; `error` names both.
bool CheckNamesDistinct(const std::vector<ArchiveInput>& inputs, std::string* error);

// Options of the form --name or --name=value, removed from `args`.
struct Options {
  std::vector<std::pair<std::u16string, std::u16string>> values;
  bool Has(const char16_t* name) const;
  // The value of --name=value, or `fallback`.
  std::u16string Value(const char16_t* name, const std::u16string& fallback = u"") const;
  // The first option not among `known`, or empty: a mistyped option must
  // not silently leave out what it asked for.
  std::u16string FirstUnknown(std::initializer_list<const char16_t*> known) const;
};
Options TakeOptions(std::vector<std::u16string>* args);

// Size and SHA-256 of a file, read in pieces; false if it cannot be read.
bool HashFile(const std::filesystem::path& path, uint64_t* size, Sha256Digest* digest);
