#include "download/disk_flusher.h"

#include <algorithm>

#include "base/file_flush.h"

DiskFlusher::DiskFlusher() : thread_(&DiskFlusher::Work, this) {}

DiskFlusher::~DiskFlusher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  changed_.notify_all();
  thread_.join();
}

void DiskFlusher::Request(const std::filesystem::path& file) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::find(queue_.begin(), queue_.end(), file) != queue_.end()) return;
    queue_.push_back(file);
  }
  changed_.notify_all();
}

void DiskFlusher::Settle(const std::filesystem::path& file) {
  std::unique_lock<std::mutex> lock(mutex_);
  queue_.erase(std::remove(queue_.begin(), queue_.end(), file), queue_.end());
  changed_.wait(lock, [&] { return flushing_ != file; });
}

void DiskFlusher::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    flushing_ = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    // A failure is not reported here: the flush before the placement, on
    // the caller's thread, decides.
    FlushFileToDisk(flushing_);
    lock.lock();
    flushing_.clear();
    changed_.notify_all();
  }
}
