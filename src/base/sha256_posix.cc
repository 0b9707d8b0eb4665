// SHA-256 on Linux: OpenSSL's EVP digest.
#include <openssl/evp.h>

#include "base/sha256.h"

struct Sha256::State {
  EVP_MD_CTX* context = nullptr;
  bool ok = false;
};

Sha256::Sha256() : state_(new State) {
  state_->context = EVP_MD_CTX_new();
  state_->ok = state_->context != nullptr &&
               EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() { EVP_MD_CTX_free(state_->context); }

void Sha256::Update(const void* data, size_t size) {
  if (state_->ok && size > 0) state_->ok = EVP_DigestUpdate(state_->context, data, size) == 1;
}

bool Sha256::Final(Sha256Digest* digest) {
  unsigned int length = 0;
  const bool ok = state_->ok && EVP_DigestFinal_ex(state_->context, digest->data(), &length) == 1 &&
                  length == digest->size();
  state_->ok = false;
  return ok;
}
