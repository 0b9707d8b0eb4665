// Owners of GDI objects and device contexts: move-only, each gives its handle
// back in its destructor. A selection has an owner too: ScopedSelect puts the
// device context's previous object back when it ends. Declare it after the
// owners of the device context and of the object it selects, so that it ends
// before them: Windows refuses to delete a bitmap that is still selected into
// a device context, and the bitmap's memory then stays for the life of the
// process (Wine only defers the deletion, which hides the leak).
#pragma once

#include <windows.h>

#include <utility>

namespace gdi {

// What an owner has just given back.
enum class Released { kSelection, kObject, kMemoryDc, kWindowDc };

// Tests watch the releases: `handle` is the device context for kSelection,
// else the handle given back.
using ReleaseObserver = void (*)(Released what, void* handle) noexcept;

namespace detail {

inline ReleaseObserver& Observer() {
  static ReleaseObserver observer = nullptr;
  return observer;
}

inline void Notify(Released what, void* handle) {
  if (ReleaseObserver observer = Observer()) observer(what, handle);
}

}  // namespace detail

// Null stops the watching. Window thread only.
inline void SetReleaseObserverForTest(ReleaseObserver observer) { detail::Observer() = observer; }

// A GDI object (bitmap, brush, font, ...), deleted with DeleteObject.
template <typename Handle>
class Object {
 public:
  Object() = default;
  explicit Object(Handle handle) : handle_(handle) {}
  Object(Object&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Object& operator=(Object&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  ~Object() {
    if (!handle_) return;
    DeleteObject(handle_);
    detail::Notify(Released::kObject, handle_);
  }

  Handle get() const { return handle_; }

 private:
  Handle handle_ = nullptr;
};

using Bitmap = Object<HBITMAP>;

// A memory device context compatible with `compatible`, deleted with DeleteDC.
class MemoryDc {
 public:
  explicit MemoryDc(HDC compatible) : dc_(CreateCompatibleDC(compatible)) {}
  MemoryDc(MemoryDc&& other) noexcept : dc_(std::exchange(other.dc_, nullptr)) {}
  MemoryDc& operator=(MemoryDc&& other) noexcept {
    std::swap(dc_, other.dc_);
    return *this;
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  ~MemoryDc() {
    if (!dc_) return;
    DeleteDC(dc_);
    detail::Notify(Released::kMemoryDc, dc_);
  }

  HDC get() const { return dc_; }

 private:
  HDC dc_ = nullptr;
};

// A window's device context (GetDC), given back with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  WindowDc(WindowDc&& other) noexcept
      : window_(other.window_), dc_(std::exchange(other.dc_, nullptr)) {}
  WindowDc& operator=(WindowDc&& other) noexcept {
    std::swap(window_, other.window_);
    std::swap(dc_, other.dc_);
    return *this;
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (!dc_) return;
    ReleaseDC(window_, dc_);
    detail::Notify(Released::kWindowDc, dc_);
  }

  HDC get() const { return dc_; }

 private:
  HWND window_ = nullptr;
  HDC dc_ = nullptr;
};

// Selects `object` into `dc` for the owner's life, then selects the previous
// object again. False when the selection failed (nothing to put back).
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {
    if (previous_ == HGDI_ERROR) previous_ = nullptr;
  }
  ScopedSelect(ScopedSelect&& other) noexcept
      : dc_(other.dc_), previous_(std::exchange(other.previous_, nullptr)) {}
  ScopedSelect& operator=(ScopedSelect&& other) noexcept {
    std::swap(dc_, other.dc_);
    std::swap(previous_, other.previous_);
    return *this;
  }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;
  ~ScopedSelect() {
    if (!previous_) return;
    SelectObject(dc_, previous_);
    detail::Notify(Released::kSelection, dc_);
  }

  explicit operator bool() const { return previous_ != nullptr; }

 private:
  HDC dc_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

}  // namespace gdi
