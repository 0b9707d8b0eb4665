#include "package/qvk_file_win.h"

#include <windows.h>

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "base/owners_win.h"

namespace {

class WinFile : public QvkFile {
 public:
  explicit WinFile(UniqueHandle h) : file_(std::move(h)) {}

  bool Seek(int64_t offset) override {
    LARGE_INTEGER to;
    to.QuadPart = offset;
    return file_ && offset >= 0 && SetFilePointerEx(file_.get(), to, nullptr, FILE_BEGIN) != 0;
  }
  size_t Read(void* buffer, size_t size) override {
    size_t total = 0;
    auto* out = static_cast<char*>(buffer);
    while (file_ && total < size) {
      const DWORD want = static_cast<DWORD>(std::min<size_t>(size - total, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(file_.get(), out + total, want, &got, nullptr) || got == 0) break;
      total += got;
    }
    return total;
  }
  int64_t Write(const void* buffer, size_t size) override {
    if (!file_) return -1;
    size_t total = 0;
    auto* in = static_cast<const char*>(buffer);
    while (total < size) {
      const DWORD want = static_cast<DWORD>(std::min<size_t>(size - total, 1u << 30));
      DWORD put = 0;
      if (!WriteFile(file_.get(), in + total, want, &put, nullptr)) {
        return total == 0 ? -1 : static_cast<int64_t>(total);
      }
      if (put == 0) break;
      total += put;
    }
    return static_cast<int64_t>(total);
  }
  int64_t Size() override {
    LARGE_INTEGER size;
    if (!file_ || !GetFileSizeEx(file_.get(), &size)) return -1;
    return size.QuadPart;
  }
  bool Close() override { return file_.Close(); }

 private:
  UniqueHandle file_;
};

std::unique_ptr<QvkFile> OpenWin(const char16_t* path, DWORD access, DWORD share,
                                 DWORD disposition) {
  if (path == nullptr) return nullptr;
  // Without memory for the path or the file object, the file cannot be
  // opened: no exception leaves, no handle stays open.
  UniqueHandle h;
  try {
    const std::wstring wide(path, path + std::char_traits<char16_t>::length(path));
    h.reset(CreateFileW(wide.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                        nullptr));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (!h) return nullptr;
  // Without memory for the file object, `h` closes the file on the way out.
  return std::unique_ptr<QvkFile>(new (std::nothrow) WinFile(std::move(h)));
}

class WinFileSystem : public QvkFileSystem {
 public:
  std::unique_ptr<QvkFile> OpenForRead(const char16_t* path) override {
    return OpenWin(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  }
  std::unique_ptr<QvkFile> Create(const char16_t* path) override {
    return OpenWin(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  }
};

}  // namespace

QvkFileSystem& QvkWinFileSystem() {
  static WinFileSystem files;
  return files;
}
