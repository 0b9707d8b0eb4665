// ECDSA P-256 on Windows: the system's CNG provider. CNG signs and verifies
// a digest, so the message is hashed first with the same provider family.
// PEM files are not read or written here: keys are made and used by the
// Linux build of qvk, as the operator's release machine runs it.
#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "base/ecdsa_p256.h"
#include "base/sha256.h"

namespace {

struct Algorithm {
  BCRYPT_ALG_HANDLE handle = nullptr;
  Algorithm() {
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) {
      handle = nullptr;
    }
  }
  ~Algorithm() {
    if (handle != nullptr) BCryptCloseAlgorithmProvider(handle, 0);
  }
  Algorithm(const Algorithm&) = delete;
  Algorithm& operator=(const Algorithm&) = delete;
};

struct Key {
  BCRYPT_KEY_HANDLE handle = nullptr;
  Key() = default;
  ~Key() {
    if (handle != nullptr) BCryptDestroyKey(handle);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
};

bool Digest(std::string_view message, Sha256Digest* digest) {
  Sha256 hash;
  hash.Update(message.data(), message.size());
  return hash.Final(digest);
}

}  // namespace

bool VerifyEcdsaP256(const EcPublicKey& key, std::string_view message, const EcSignature& signature) {
  if (key[0] != 0x04) return false;
  Sha256Digest digest;
  if (!Digest(message, &digest)) return false;
  Algorithm algorithm;
  if (algorithm.handle == nullptr) return false;
  // BCRYPT_ECCKEY_BLOB, then X and Y.
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 64);
  BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, key.data() + 1, 64);
  Key public_key;
  if (!BCRYPT_SUCCESS(BCryptImportKeyPair(algorithm.handle, nullptr, BCRYPT_ECCPUBLIC_BLOB, &public_key.handle,
                                          blob.data(), static_cast<ULONG>(blob.size()), 0))) {
    public_key.handle = nullptr;
    return false;
  }
  EcSignature copy = signature;
  return BCRYPT_SUCCESS(BCryptVerifySignature(public_key.handle, nullptr, digest.data(),
                                              static_cast<ULONG>(digest.size()), copy.data(),
                                              static_cast<ULONG>(copy.size()), 0));
}

struct EcPrivateKey::State {
  Algorithm algorithm;
  Key key;
  EcPublicKey point = {};
};

EcPrivateKey::EcPrivateKey(std::unique_ptr<State> state) : state_(std::move(state)) {}
EcPrivateKey::~EcPrivateKey() = default;

std::unique_ptr<EcPrivateKey> EcPrivateKey::Generate() {
  auto state = std::make_unique<State>();
  if (state->algorithm.handle == nullptr) return nullptr;
  if (!BCRYPT_SUCCESS(BCryptGenerateKeyPair(state->algorithm.handle, &state->key.handle, 256, 0))) {
    state->key.handle = nullptr;
    return nullptr;
  }
  if (!BCRYPT_SUCCESS(BCryptFinalizeKeyPair(state->key.handle, 0))) return nullptr;
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 64);
  ULONG length = 0;
  if (!BCRYPT_SUCCESS(BCryptExportKey(state->key.handle, nullptr, BCRYPT_ECCPUBLIC_BLOB, blob.data(),
                                      static_cast<ULONG>(blob.size()), &length, 0)) ||
      length != blob.size()) {
    return nullptr;
  }
  state->point[0] = 0x04;
  std::memcpy(state->point.data() + 1, blob.data() + sizeof(BCRYPT_ECCKEY_BLOB), 64);
  return std::make_unique<EcPrivateKey>(std::move(state));
}

std::unique_ptr<EcPrivateKey> EcPrivateKey::FromPem(std::string_view, std::string* error) {
  *error = "this Windows build cannot read PEM keys: sign with the Linux build of qvk";
  return nullptr;
}

std::string EcPrivateKey::ToPem() const { return {}; }

const EcPublicKey& EcPrivateKey::public_key() const { return state_->point; }

std::optional<EcSignature> EcPrivateKey::Sign(std::string_view message) const {
  Sha256Digest digest;
  if (!Digest(message, &digest)) return std::nullopt;
  EcSignature out;
  ULONG length = 0;
  if (!BCRYPT_SUCCESS(BCryptSignHash(state_->key.handle, nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                                     out.data(), static_cast<ULONG>(out.size()), &length, 0)) ||
      length != out.size()) {
    return std::nullopt;
  }
  return out;
}
