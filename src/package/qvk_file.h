// The file seam of the package code: archives are read and written through
// QvkFile, opened by a QvkFileSystem. The portable implementation uses the C
// library (UTF-16 paths converted to UTF-8); Windows builds install the
// CreateFileW one from qvk_file_win.h, which opens with read and write
// sharing; tests and fuzzers use QvkMemoryFile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// One open file. Not thread-safe: callers serialise access. The destructor
// closes a file that is still open.
class QvkFile {
 public:
  virtual ~QvkFile() = default;
  // Moves the file pointer to an absolute offset. False on failure.
  virtual bool Seek(int64_t offset) = 0;
  // Reads up to `size` bytes at the file pointer and advances it. Returns the
  // number of bytes read; fewer than asked on end of file or error.
  virtual size_t Read(void* buffer, size_t size) = 0;
  // Writes `size` bytes at the file pointer. Returns the number written, or
  // -1 when the write failed outright.
  virtual int64_t Write(const void* buffer, size_t size) = 0;
  // The file's size in bytes, or -1 when it cannot be told.
  virtual int64_t Size() = 0;
  // Closes the file. False when the operating system reported a failure
  // (buffered data may be lost). Further calls return true.
  virtual bool Close() = 0;
};

class QvkFileSystem {
 public:
  virtual ~QvkFileSystem() = default;
  // Opens an existing file for reading, letting others read and write it
  // meanwhile. Null on failure.
  virtual std::unique_ptr<QvkFile> OpenForRead(const char16_t* path) = 0;
  // Creates a file for reading and writing, replacing an existing one, not
  // shared with other openers. Null on failure.
  virtual std::unique_ptr<QvkFile> Create(const char16_t* path) = 0;
};

// The C library implementation (fopen with 64-bit positioning).
QvkFileSystem& QvkStdioFileSystem();

// The file system that QvkOpen and QvkExtract use: QvkStdioFileSystem()
// until SetQvkFileSystem installs another. Install it once at start-up,
// before any thread opens an archive; the object must outlive every use.
QvkFileSystem& QvkDefaultFileSystem();
void SetQvkFileSystem(QvkFileSystem* files);

// A file held in memory, for tests, fuzzing and building archives in memory.
// Writes past the end extend it.
class QvkMemoryFile : public QvkFile {
 public:
  QvkMemoryFile() = default;
  explicit QvkMemoryFile(std::string bytes) : bytes_(std::move(bytes)) {}
  bool Seek(int64_t offset) override;
  size_t Read(void* buffer, size_t size) override;
  int64_t Write(const void* buffer, size_t size) override;
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  bool Close() override { return true; }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
  size_t position_ = 0;
};
