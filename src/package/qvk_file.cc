#include "package/qvk_file.h"
#include "base/text.h"

#include <atomic>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <new>

namespace {

class StdioFile : public QvkFile {
 public:
  explicit StdioFile(std::FILE* f) : file_(f) {}
  ~StdioFile() override { Close(); }

  bool Seek(int64_t offset) override {
    return file_ != nullptr && offset >= 0 && fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0;
  }
  size_t Read(void* buffer, size_t size) override {
    return file_ == nullptr || size == 0 ? 0 : std::fread(buffer, 1, size, file_);
  }
  int64_t Write(const void* buffer, size_t size) override {
    if (file_ == nullptr) return -1;
    if (size == 0) return 0;
    const size_t n = std::fwrite(buffer, 1, size, file_);
    return n == 0 ? -1 : static_cast<int64_t>(n);
  }
  int64_t Size() override {
    if (file_ == nullptr) return -1;
    const off_t here = ftello(file_);
    if (here < 0 || fseeko(file_, 0, SEEK_END) != 0) return -1;
    const off_t end = ftello(file_);
    if (fseeko(file_, here, SEEK_SET) != 0) return -1;
    return end;
  }
  bool Close() override {
    if (file_ == nullptr) return true;
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
  }

 private:
  std::FILE* file_;
};

// `unbuffered` hands every read and write straight to the system: a stdio
// buffer would split each large write in two and copy part of it first.
std::unique_ptr<QvkFile> OpenStdio(const char16_t* path, const char* mode, bool unbuffered) {
  if (path == nullptr) return nullptr;
  // Without memory for the converted path or the file object, the file
  // cannot be opened: no exception leaves, nothing stays open.
  std::FILE* f = nullptr;
  try {
    f = std::fopen(Utf16ToUtf8(path).c_str(), mode);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (f == nullptr) return nullptr;
  if (unbuffered && std::setvbuf(f, nullptr, _IONBF, 0) != 0) {
    std::fclose(f);
    return nullptr;
  }
  std::unique_ptr<QvkFile> file(new (std::nothrow) StdioFile(f));
  if (!file) std::fclose(f);
  return file;
}

class StdioFileSystem : public QvkFileSystem {
 public:
  std::unique_ptr<QvkFile> OpenForRead(const char16_t* path) override {
    // Buffered: large reads bypass the buffer anyway, small ones stay cheap.
    return OpenStdio(path, "rb", false);
  }
  std::unique_ptr<QvkFile> Create(const char16_t* path) override {
    // Created files receive large writes (extraction, archive data).
    return OpenStdio(path, "w+b", true);
  }
};

std::atomic<QvkFileSystem*> g_files{nullptr};

}  // namespace

QvkFileSystem& QvkStdioFileSystem() {
  static StdioFileSystem files;
  return files;
}

QvkFileSystem& QvkDefaultFileSystem() {
  QvkFileSystem* files = g_files.load(std::memory_order_acquire);
  return files != nullptr ? *files : QvkStdioFileSystem();
}

void SetQvkFileSystem(QvkFileSystem* files) {
  g_files.store(files, std::memory_order_release);
}

bool QvkMemoryFile::Seek(int64_t offset) {
  if (offset < 0) return false;
  position_ = static_cast<size_t>(offset);
  return true;
}

size_t QvkMemoryFile::Read(void* buffer, size_t size) {
  if (position_ >= bytes_.size()) return 0;
  const size_t n = std::min(size, bytes_.size() - position_);
  std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

int64_t QvkMemoryFile::Write(const void* buffer, size_t size) {
  if (size == 0) return 0;
  if (bytes_.size() < position_ + size) bytes_.resize(position_ + size);
  std::memcpy(&bytes_[position_], buffer, size);
  position_ += size;
  return static_cast<int64_t>(size);
}
