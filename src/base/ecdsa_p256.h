// ECDSA on P-256 with SHA-256 through a maintained implementation: the
// system's CNG (bcrypt.dll) on Windows, OpenSSL's libcrypto elsewhere. No
// cryptography of our own. Keys and signatures travel in the forms CNG takes:
// a public key is its 65-byte uncompressed point (04, X, Y), a signature is
// r then s, 32 bytes each, big-endian. Callable from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

using EcPublicKey = std::array<uint8_t, 65>;
using EcSignature = std::array<uint8_t, 64>;

// True only when `signature` is `key`'s over exactly `message`. False on any
// failure, including a key that is not a point of the curve.
[[nodiscard]] bool VerifyEcdsaP256(const EcPublicKey& key, std::string_view message, const EcSignature& signature);

// A private key, for qvk and the tests. Move-only through unique_ptr.
class EcPrivateKey {
 public:
  struct State;
  explicit EcPrivateKey(std::unique_ptr<State> state);
  ~EcPrivateKey();
  EcPrivateKey(const EcPrivateKey&) = delete;
  EcPrivateKey& operator=(const EcPrivateKey&) = delete;

  // A fresh key from the system's random source; null on failure.
  static std::unique_ptr<EcPrivateKey> Generate();
  // A PKCS#8 PEM private key as `openssl genpkey -algorithm EC -pkeyopt
  // ec_paramgen_curve:P-256` writes it. Null with `error` set when it is not
  // one, or where this build cannot read PEM (Windows).
  static std::unique_ptr<EcPrivateKey> FromPem(std::string_view pem, std::string* error);

  // The PKCS#8 PEM text; empty where this build cannot write PEM (Windows).
  std::string ToPem() const;
  const EcPublicKey& public_key() const;
  // The signature of `message`; nullopt when the platform failed.
  std::optional<EcSignature> Sign(std::string_view message) const;

 private:
  std::unique_ptr<State> state_;
};
