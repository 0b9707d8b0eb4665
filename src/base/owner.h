// Owner: the one way a handle is owned. Move-only; gives its handle back with
// `Release` when it ends, unless the handle is `Empty`. Used for archive and
// entry handles (package/qvk_archive.h) and, on Windows, for modules and
// the like (owners_win.h).
#pragma once

#include <utility>

template <typename Handle, auto Release, Handle Empty = Handle{}>
class Owner {
 public:
  Owner() = default;
  explicit Owner(Handle handle) : handle_(handle) {}
  Owner(Owner&& other) noexcept : handle_(std::exchange(other.handle_, Empty)) {}
  Owner& operator=(Owner&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, Empty));
    return *this;
  }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  ~Owner() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Empty; }
  // Gives back the handle held (if any) and holds `handle` instead.
  void reset(Handle handle = Empty) {
    if (handle_ != Empty) static_cast<void>(Release(handle_));
    handle_ = handle;
  }
  // Stops owning the handle and returns it.
  [[nodiscard]] Handle release() { return std::exchange(handle_, Empty); }

 private:
  Handle handle_ = Empty;
};
