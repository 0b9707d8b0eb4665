// SHA-256 on the process's hashing thread: Update copies the bytes into
// blocks, and that thread hashes each full block while the caller goes on
// receiving and writing, so a download costs the larger of the two, not their
// sum. One thread serves every stream in turn: the hash is the dearest step,
// and two hashes at once would take the processor the network needs. At most
// kBlocksInFlight blocks of a stream wait; Update waits when the thread lags,
// so memory stays bounded whatever the stream's length. A side wakes the
// other only when it sleeps, and a waiting feeder goes on only once half its
// blocks are free: waking a thread is dear (under Wine, a server call). One
// thread feeds a stream.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <vector>

#include "base/sha256.h"

class ThreadedSha256 {
 public:
  static constexpr size_t kBlockBytes = 256 << 10;
  static constexpr size_t kBlocksInFlight = 8;

  ThreadedSha256() = default;
  ~ThreadedSha256();  // drops what waits, after the block being hashed
  ThreadedSha256(const ThreadedSha256&) = delete;
  ThreadedSha256& operator=(const ThreadedSha256&) = delete;

  void Update(const void* data, size_t size);
  // Hashes what is left and gives the digest; false if the hash failed. The
  // object is spent afterwards.
  [[nodiscard]] bool Final(Sha256Digest* digest);

 private:
  friend class HashingThread;
  std::vector<char> SpareBlock();      // an empty block of kBlockBytes capacity
  void Hand(std::vector<char> block);  // queues a full block

  Sha256 hash_;  // the hashing thread's while blocks are pending
  std::vector<char> block_;
  // Guarded by the hashing thread's lock:
  std::condition_variable wakes_;
  size_t pending_ = 0;                    // queued or being hashed
  size_t wake_at_ = 0;                    // wake the feeder when pending_ falls to this
  bool waits_ = false;                    // the feeder sleeps in wakes_
  std::vector<std::vector<char>> spare_;  // hashed blocks, kept for reuse
};
