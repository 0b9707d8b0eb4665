// ECDSA P-256 on Linux: OpenSSL's EVP interface. Signatures are converted
// between OpenSSL's DER form and the fixed r-then-s form.
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>

#include <cstring>
#include <vector>

#include "base/ecdsa_p256.h"
#include "base/owner.h"

namespace {

using Pkey = Owner<EVP_PKEY*, &EVP_PKEY_free>;
using MdContext = Owner<EVP_MD_CTX*, &EVP_MD_CTX_free>;
using Bio = Owner<BIO*, &BIO_free>;
using Sig = Owner<ECDSA_SIG*, &ECDSA_SIG_free>;

bool IsP256(EVP_PKEY* key) {
  char group[64] = {};
  size_t length = 0;
  return EVP_PKEY_get_base_id(key) == EVP_PKEY_EC &&
         EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) == 1 &&
         std::strcmp(group, "prime256v1") == 0;
}

Pkey PublicKeyOf(const EcPublicKey& point) {
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, const_cast<char*>("prime256v1"), 0),
      OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, const_cast<uint8_t*>(point.data()), point.size()),
      OSSL_PARAM_construct_end(),
  };
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
  EVP_PKEY* key = nullptr;
  if (context == nullptr || EVP_PKEY_fromdata_init(context) != 1 ||
      EVP_PKEY_fromdata(context, &key, EVP_PKEY_PUBLIC_KEY, params) != 1) {
    key = nullptr;
  }
  EVP_PKEY_CTX_free(context);
  return Pkey(key);
}

bool PointOf(EVP_PKEY* key, EcPublicKey* point) {
  size_t length = 0;
  return EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, point->data(), point->size(), &length) == 1 &&
         length == point->size() && (*point)[0] == 0x04;
}

}  // namespace

bool VerifyEcdsaP256(const EcPublicKey& key, std::string_view message, const EcSignature& signature) {
  const Pkey pkey = PublicKeyOf(key);
  if (!pkey) return false;
  // r and s to DER.
  Sig sig(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
  BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
  if (!sig || r == nullptr || s == nullptr || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return false;
  }
  unsigned char* der = nullptr;
  const int der_length = i2d_ECDSA_SIG(sig.get(), &der);
  if (der_length <= 0) return false;
  MdContext context(EVP_MD_CTX_new());
  const bool valid = context && EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, pkey.get()) == 1 &&
                     EVP_DigestVerify(context.get(), der, static_cast<size_t>(der_length),
                                      reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
  OPENSSL_free(der);
  return valid;
}

struct EcPrivateKey::State {
  Pkey key;
  EcPublicKey point = {};
};

EcPrivateKey::EcPrivateKey(std::unique_ptr<State> state) : state_(std::move(state)) {}
EcPrivateKey::~EcPrivateKey() = default;

std::unique_ptr<EcPrivateKey> EcPrivateKey::Generate() {
  auto state = std::make_unique<State>();
  state->key = Pkey(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  if (!state->key || !PointOf(state->key.get(), &state->point)) return nullptr;
  return std::make_unique<EcPrivateKey>(std::move(state));
}

std::unique_ptr<EcPrivateKey> EcPrivateKey::FromPem(std::string_view pem, std::string* error) {
  Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  auto state = std::make_unique<State>();
  // No passphrase callback: an encrypted key is refused, not prompted for.
  if (bio) state->key = Pkey(PEM_read_bio_PrivateKey(bio.get(), nullptr, [](char*, int, int, void*) { return 0; }, nullptr));
  if (!state->key) {
    *error = "not a PEM private key (an encrypted key must be decrypted first)";
    return nullptr;
  }
  if (!IsP256(state->key.get())) {
    *error = "not an EC key on the P-256 curve";
    return nullptr;
  }
  BIGNUM* secret = nullptr;
  const bool has_secret = EVP_PKEY_get_bn_param(state->key.get(), OSSL_PKEY_PARAM_PRIV_KEY, &secret) == 1;
  BN_clear_free(secret);
  if (!has_secret || !PointOf(state->key.get(), &state->point)) {
    *error = "not a complete P-256 private key";
    return nullptr;
  }
  return std::make_unique<EcPrivateKey>(std::move(state));
}

std::string EcPrivateKey::ToPem() const {
  Bio bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PrivateKey(bio.get(), state_->key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    return {};
  }
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio.get(), &data);
  return length > 0 ? std::string(data, static_cast<size_t>(length)) : std::string();
}

const EcPublicKey& EcPrivateKey::public_key() const { return state_->point; }

std::optional<EcSignature> EcPrivateKey::Sign(std::string_view message) const {
  MdContext context(EVP_MD_CTX_new());
  size_t length = 0;
  if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, state_->key.get()) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &length, reinterpret_cast<const unsigned char*>(message.data()),
                     message.size()) != 1) {
    return std::nullopt;
  }
  std::vector<unsigned char> der(length);
  if (EVP_DigestSign(context.get(), der.data(), &length, reinterpret_cast<const unsigned char*>(message.data()),
                     message.size()) != 1) {
    return std::nullopt;
  }
  const unsigned char* at = der.data();
  Sig sig(d2i_ECDSA_SIG(nullptr, &at, static_cast<long>(length)));
  if (!sig) return std::nullopt;
  EcSignature out;
  if (BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), out.data(), 32) != 32 ||
      BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), out.data() + 32, 32) != 32) {
    return std::nullopt;
  }
  return out;
}
