// Test helpers for the package code: file doubles that fail on request and
// count what was done to them, and the scratch directory of every test.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "package/qvk_file.h"
#include "support/test_dir.h"

// What a FaultyFile does and how often it was asked.
struct FileScript {
  bool fail_seek = false;
  bool fail_close = false;
  bool fail_write = false;
  int64_t write_limit = -1;  // bytes accepted per Write, -1 for all
  std::atomic<int> seeks{0};
  std::string last_bytes;  // content of the last FaultyFile destroyed
};

// A memory file that fails as its script says.
class FaultyFile : public QvkMemoryFile {
 public:
  FaultyFile(std::string bytes, FileScript* script)
      : QvkMemoryFile(std::move(bytes)), script_(script) {}
  ~FaultyFile() override { script_->last_bytes = bytes(); }
  bool Seek(int64_t offset) override {
    ++script_->seeks;
    return !script_->fail_seek && QvkMemoryFile::Seek(offset);
  }
  int64_t Write(const void* buffer, size_t size) override {
    if (script_->fail_write) return -1;
    if (script_->write_limit >= 0 && static_cast<int64_t>(size) > script_->write_limit) {
      size = static_cast<size_t>(script_->write_limit);
    }
    return QvkMemoryFile::Write(buffer, size);
  }
  bool Close() override { return !script_->fail_close; }

 private:
  FileScript* script_;
};

// A file system whose Create hands out FaultyFiles (or fails) and remembers
// the last one created; OpenForRead serves `image`.
class FakeFileSystem : public QvkFileSystem {
 public:
  std::unique_ptr<QvkFile> OpenForRead(const char16_t*) override {
    return std::make_unique<FaultyFile>(image, &script);
  }
  std::unique_ptr<QvkFile> Create(const char16_t* path) override {
    ++creates;
    if (fail_create) return nullptr;
    created_path = path;
    return std::make_unique<FaultyFile>(std::string(), &script);
  }

  std::string image;
  FileScript script;
  bool fail_create = false;
  int creates = 0;
  std::u16string created_path;
};

// Installs a file system for one test and restores the default afterwards.
class ScopedFileSystem {
 public:
  explicit ScopedFileSystem(QvkFileSystem* files) { SetQvkFileSystem(files); }
  ~ScopedFileSystem() { SetQvkFileSystem(nullptr); }
};
