// SHA-256 through a maintained implementation: the system's (CNG) on Windows,
// OpenSSL's libcrypto elsewhere. Bytes are fed as they arrive, so a download
// is hashed while it is written. One object per stream, one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // Adds `size` bytes. Ignored once the object has failed.
  void Update(const void* data, size_t size);
  // The digest of everything added; false if the platform failed at any
  // step. The object is spent afterwards.
  [[nodiscard]] bool Final(Sha256Digest* digest);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// 64 lower-case hex digits.
std::string Sha256Hex(const Sha256Digest& digest);
// Reads exactly 64 hex digits (either case); false otherwise.
bool ParseSha256Hex(std::string_view text, Sha256Digest* digest);
