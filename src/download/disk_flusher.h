// Flushes partial downloads to the disk on a thread of its own while the
// transfers go on. A package is flushed before it is placed in System; done
// all at once, that flush would hold up the other transfers (and the hash)
// for as long as the disk takes to write the whole file.
#pragma once

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

class DiskFlusher {
 public:
  DiskFlusher();
  ~DiskFlusher();  // after the flush under way
  DiskFlusher(const DiskFlusher&) = delete;
  DiskFlusher& operator=(const DiskFlusher&) = delete;

  // Queues a flush of `file`, once however often it is asked for.
  void Request(const std::filesystem::path& file);
  // Drops a queued flush of `file` and waits for one under way, so that the
  // file may then be renamed, deleted or opened afresh.
  void Settle(const std::filesystem::path& file);

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::filesystem::path> queue_;
  std::filesystem::path flushing_;
  bool stopping_ = false;
  std::thread thread_;
};
