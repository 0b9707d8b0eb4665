// Owners of Win32 handles: kernel objects, modules and COM interfaces. Code
// outside base/ never calls CloseHandle, FreeLibrary or Release itself. GDI
// objects and device contexts have theirs in gdi_owners_win.h.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <utility>

#include "base/owner.h"

// A kernel handle (event, thread, process, semaphore, file). Null and
// INVALID_HANDLE_VALUE both mean "none", as the creating functions differ.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(Valid(handle) ? handle : nullptr) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, nullptr));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void reset(HANDLE handle = nullptr) {
    if (handle_) CloseHandle(handle_);
    handle_ = Valid(handle) ? handle : nullptr;
  }
  // Stops owning the handle and returns it.
  [[nodiscard]] HANDLE release() { return std::exchange(handle_, nullptr); }
  // Closes the handle and tells whether the system accepted the close (a
  // file's last buffered write can fail here).
  [[nodiscard]] bool Close() {
    const bool ok = handle_ == nullptr || CloseHandle(handle_) != 0;
    handle_ = nullptr;
    return ok;
  }

 private:
  static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  HANDLE handle_ = nullptr;
};

// A module loaded with LoadLibrary, freed with FreeLibrary.
using UniqueModule = Owner<HMODULE, &FreeLibrary>;
// An icon loaded at a size of its own, destroyed with DestroyIcon.
using UniqueIcon = Owner<HICON, &DestroyIcon>;
// CryptoAPI's certificate contexts, chains and stores.
using CertificateOwner = Owner<PCCERT_CONTEXT, &CertFreeCertificateContext>;
using CertificateChainOwner = Owner<PCCERT_CHAIN_CONTEXT, &CertFreeCertificateChain>;

// A COM interface pointer, released with Release.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(Interface* pointer) : pointer_(pointer) {}
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) reset(std::exchange(other.pointer_, nullptr));
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }

  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  void reset(Interface* pointer = nullptr) {
    if (pointer_) pointer_->Release();
    pointer_ = pointer;
  }
  // For functions that return an interface through an out parameter.
  Interface** Receive() {
    reset();
    return &pointer_;
  }

 private:
  Interface* pointer_ = nullptr;
};
