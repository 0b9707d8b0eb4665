#include "base/threaded_sha256.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

class HashingThread {
 public:
  // Started at first use and never ended: idle, it only sleeps.
  static HashingThread& Get() {
    static HashingThread* instance = new HashingThread;
    return *instance;
  }

  struct Item {
    ThreadedSha256* owner;
    std::vector<char> block;
  };
  std::mutex mutex;
  std::deque<Item> queue;

  // With the lock held.
  void Push(Item item) {
    queue.push_back(std::move(item));
    if (idle_) wakes_.notify_one();
  }
  // Wakes the owner's feeder if it waits for pending_ to fall to `level`.
  static void Settle(ThreadedSha256* owner) {
    if (owner->waits_ && owner->pending_ <= owner->wake_at_) owner->wakes_.notify_one();
  }

 private:
  HashingThread() { std::thread(&HashingThread::Work, this).detach(); }

  void Work() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      if (queue.empty()) {
        idle_ = true;
        wakes_.wait(lock, [this] { return !queue.empty(); });
        idle_ = false;
      }
      Item item = std::move(queue.front());
      queue.pop_front();
      lock.unlock();
      item.owner->hash_.Update(item.block.data(), item.block.size());
      lock.lock();
      ThreadedSha256* owner = item.owner;
      --owner->pending_;
      if (owner->spare_.size() < 2) owner->spare_.push_back(std::move(item.block));
      Settle(owner);
    }
  }

  std::condition_variable wakes_;
  bool idle_ = false;
};

ThreadedSha256::~ThreadedSha256() {
  HashingThread& thread = HashingThread::Get();
  std::unique_lock<std::mutex> lock(thread.mutex);
  const auto mine = [this](const HashingThread::Item& item) { return item.owner == this; };
  const auto dropped = std::count_if(thread.queue.begin(), thread.queue.end(), mine);
  thread.queue.erase(std::remove_if(thread.queue.begin(), thread.queue.end(), mine), thread.queue.end());
  pending_ -= static_cast<size_t>(dropped);
  wake_at_ = 0;
  waits_ = true;
  wakes_.wait(lock, [this] { return pending_ == 0; });
}

void ThreadedSha256::Update(const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    if (block_.capacity() < kBlockBytes) block_ = SpareBlock();
    const size_t part = std::min(size, kBlockBytes - block_.size());
    block_.insert(block_.end(), bytes, bytes + part);
    bytes += part;
    size -= part;
    if (block_.size() == kBlockBytes) Hand(std::exchange(block_, SpareBlock()));
  }
}

std::vector<char> ThreadedSha256::SpareBlock() {
  // Blocks are reused: fresh memory costs a page fault per page, which under
  // Wine is dearer than the hash.
  std::vector<char> block;
  {
    std::lock_guard<std::mutex> lock(HashingThread::Get().mutex);
    if (!spare_.empty()) {
      block = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  block.clear();
  block.reserve(kBlockBytes);
  return block;
}

void ThreadedSha256::Hand(std::vector<char> block) {
  HashingThread& thread = HashingThread::Get();
  std::unique_lock<std::mutex> lock(thread.mutex);
  if (pending_ >= kBlocksInFlight) {
    wake_at_ = kBlocksInFlight / 2;
    waits_ = true;
    wakes_.wait(lock, [this] { return pending_ <= wake_at_; });
    waits_ = false;
  }
  ++pending_;
  thread.Push({this, std::move(block)});
}

bool ThreadedSha256::Final(Sha256Digest* digest) {
  if (!block_.empty()) Hand(std::exchange(block_, {}));
  HashingThread& thread = HashingThread::Get();
  {
    std::unique_lock<std::mutex> lock(thread.mutex);
    wake_at_ = 0;
    waits_ = true;
    wakes_.wait(lock, [this] { return pending_ == 0; });
    waits_ = false;
  }
  return hash_.Final(digest);
}
