#include "base/threaded_sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Digest(const std::string& data, size_t piece, bool threaded) {
  Sha256Digest digest;
  bool ok = false;
  if (threaded) {
    ThreadedSha256 hash;
    for (size_t at = 0; at < data.size(); at += piece) hash.Update(data.data() + at, std::min(piece, data.size() - at));
    ok = hash.Final(&digest);
  } else {
    Sha256 hash;
    hash.Update(data.data(), data.size());
    ok = hash.Final(&digest);
  }
  return ok ? Sha256Hex(digest) : "failed";
}

// The blocks, their reuse and the bounded queue must not change a digest:
// sizes around the block boundary and many blocks, fed in uneven pieces.
TEST(ThreadedSha256, SameDigestAsTheDirectHash) {
  constexpr size_t kBlock = ThreadedSha256::kBlockBytes;
  std::string data(9 * kBlock + 12345, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 2654435761u) >> 13);
  for (size_t size : {size_t{0}, size_t{1}, kBlock - 1, kBlock, kBlock + 1, data.size()}) {
    const std::string part = data.substr(0, size);
    for (size_t piece : {size_t{16384}, size_t{1000003}, kBlock}) {
      EXPECT_EQ(Digest(part, piece, true), Digest(part, piece, false)) << size << " bytes in pieces of " << piece;
    }
  }
}

TEST(ThreadedSha256, DroppedWithoutFinalEndsItsThread) {
  ThreadedSha256 hash;
  const std::string data(5 * ThreadedSha256::kBlockBytes, 'x');
  hash.Update(data.data(), data.size());
}  // the destructor returns: the worker ended

}  // namespace
