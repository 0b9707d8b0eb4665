// SHA-256 on Windows: the system's CNG provider.
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>

#include "base/sha256.h"

struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = false;
};

Sha256::Sha256() : state_(new State) {
  state_->ok = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM,
                                                          nullptr, 0)) &&
               BCRYPT_SUCCESS(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256() {
  if (state_->hash != nullptr) BCryptDestroyHash(state_->hash);
  if (state_->algorithm != nullptr) BCryptCloseAlgorithmProvider(state_->algorithm, 0);
}

void Sha256::Update(const void* data, size_t size) {
  // CNG takes at most 4 GiB - 1 a call.
  const auto* bytes = static_cast<const UCHAR*>(data);
  while (state_->ok && size > 0) {
    const ULONG part = static_cast<ULONG>(std::min<size_t>(size, 0x40000000));
    state_->ok = BCRYPT_SUCCESS(BCryptHashData(state_->hash, const_cast<UCHAR*>(bytes), part, 0));
    bytes += part;
    size -= part;
  }
}

bool Sha256::Final(Sha256Digest* digest) {
  const bool ok = state_->ok && BCRYPT_SUCCESS(BCryptFinishHash(state_->hash, digest->data(),
                                                                static_cast<ULONG>(digest->size()), 0));
  state_->ok = false;
  return ok;
}
